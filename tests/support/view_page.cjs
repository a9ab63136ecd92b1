// Opens PAGE in headless Chromium with a user name and password, and prints
// the widths its <img>s show, once each shows a picture (or 0 after 15 s).
//   NODE_PATH=build/node/node_modules node view_page.cjs PAGE USER PASSWORD
const { chromium } = require('playwright-core');

(async () => {
  const [url, username, password] = process.argv.slice(2);
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  try {
    const context = await browser.newContext({
      httpCredentials: { username, password },
      ignoreHTTPSErrors: true,  // the server's own certificate, as a person clicks past it
    });
    const page = await context.newPage();
    await page.goto(url);
    const width = await page.waitForFunction(() => {
      const images = [...document.querySelectorAll('img')];
      return images.length > 0 && images.every((img) => img.naturalWidth > 0) &&
          images.map((img) => img.naturalWidth).join(' ');
    }, null, { timeout: 15000 }).then((h) => h.jsonValue()).catch(() => 0);
    console.log(width);
  } finally {
    await browser.close();
  }
})();

// Opens live.html in headless Chromium through nginx (HTTPS with the
// password), waits until the video plays, and takes two screenshots a
// second apart. Prints how the page played the stream: "native" or
// "hls.js". With "hls.js" last, the browser pretends to know no HLS, as
// Firefox does, so that the page falls back on hls.js.
//   node live_page.mjs URL USER PASSWORD FIRST.png SECOND.png [hls.js]
import { chromium } from 'playwright-core';

const [url, username, password, first, second, player] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
});
try {
  const context = await browser.newContext({
    ignoreHTTPSErrors: true,  // the test's own self-signed certificate
    httpCredentials: { username, password },
    viewport: { width: 640, height: 480 },
  });
  const page = await context.newPage();
  if (player === 'hls.js') {
    await page.addInitScript(() => {
      HTMLMediaElement.prototype.canPlayType = () => '';
    });
  }
  await page.goto(url);
  await page.waitForFunction(() => {
    const video = document.querySelector('video');
    return video && video.readyState >= 2 && video.currentTime > 1;
  }, null, { timeout: 30000 });
  await page.screenshot({ path: first });
  await page.waitForTimeout(1000);
  await page.screenshot({ path: second });
  console.log(await page.evaluate(() => (window.Hls ? 'hls.js' : 'native')));
} finally {
  await browser.close();
}

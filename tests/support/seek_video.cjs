// Opens PAGE in headless Chromium, seeks its <video> to SECONDS once it can,
// and prints the video's currentTime after the seek (or "no seek").
//   NODE_PATH=build/node/node_modules node seek_video.cjs PAGE SECONDS
const { chromium } = require('playwright-core');

(async () => {
  const [url, seconds] = process.argv.slice(2);
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = await browser.newPage();
    await page.goto(url);
    const time = await page.evaluate((to) => new Promise((resolve) => {
      const video = document.querySelector('video');
      const seek = () => {
        video.addEventListener('seeked', () => resolve(String(video.currentTime)), { once: true });
        video.currentTime = to;
      };
      if (video.readyState >= 1) seek(); else video.addEventListener('loadedmetadata', seek);
      setTimeout(() => resolve('no seek'), 15000);
    }), Number(seconds));
    console.log(time);
  } finally {
    await browser.close();
  }
})();

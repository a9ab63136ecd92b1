// Opens PAGE in headless Chromium inside the test's namespace and prints
// what shows each camera after 8 s:
//   webrtc: "CODEC WIDTHxHEIGHT rising|still" for each WebRTC video, from
//           getStats (frames decoded, taken twice a second apart)
//   off:    the page without WebRTC: "img WIDTH" for each picture shown
//   NODE_PATH=build/node/node_modules node play_page.cjs PAGE webrtc|off
const { chromium } = require('playwright-core');

(async () => {
  const [url, mode] = process.argv.slice(2);
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required',
           // Loopback is the only network here.
           '--allow-loopback-in-peer-connection',
           '--disable-features=WebRtcHideLocalIpsWithMdns'],
  });
  try {
    const page = await (await browser.newContext()).newPage();
    await page.addInitScript((off) => {
      if (off) {
        delete window.RTCPeerConnection;
        return;
      }
      // Keeps the page's connections where the test can ask them.
      const Original = window.RTCPeerConnection;
      window.testConnections = [];
      window.RTCPeerConnection = function (...args) {
        const pc = new Original(...args);
        window.testConnections.push(pc);
        return pc;
      };
      window.RTCPeerConnection.prototype = Original.prototype;
    }, mode === 'off');
    await page.goto(url);
    await page.waitForTimeout(8000);
    if (mode === 'off') {
      const shown = await page.evaluate(() => [...document.querySelectorAll('img')]
          .map((img) => 'img ' + img.naturalWidth).join(' '));
      const videos = await page.evaluate(() => document.querySelectorAll('video').length);
      console.log(videos ? 'video too' : shown);
      return;
    }
    const sample = () => page.evaluate(async () => Promise.all(window.testConnections.map(
        async (pc) => {
          const stats = [...(await pc.getStats()).values()];
          const inbound = stats.find((s) => s.type === 'inbound-rtp' && s.kind === 'video');
          if (!inbound) return null;
          const codec = stats.find((s) => s.id === inbound.codecId);
          return { codec: codec && codec.mimeType, decoded: inbound.framesDecoded,
                   size: inbound.frameWidth + 'x' + inbound.frameHeight };
        })));
    const first = await sample();
    await page.waitForTimeout(1000);
    const second = await sample();
    console.log(second.map((s, i) => !s ? 'none' :
        `${s.codec} ${s.size} ${s.decoded > (first[i] ? first[i].decoded : 0) ? 'rising' : 'still'}`)
        .join(' '));
  } finally {
    await browser.close();
  }
})();

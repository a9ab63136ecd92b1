// Plays each camera picture of the page through WebRTC (WHEP: H.264, a
// tenth of the motion-JPEG's bits) where the browser can. The motion-JPEG
// <img> shows the camera until the WebRTC video plays, and stays when
// WebRTC has not connected within 3 seconds, or the browser has none.
(function () {
  'use strict';
  var WAIT_MS = 3000;
  var PLAY_MS = 7000;

  // Camera N's pictures come from /cam/N/video and are offered at
  // /cam/N/whep; the page's first picture is the first camera's.
  function offerAddress(img, index) {
    var path = new URL(img.src, location.href).pathname;
    var camera = /^\/cam\/(\d+)\/video$/i.exec(path);
    if (camera) return '/cam/' + camera[1] + '/whep';
    return index === 0 ? '/whep' : null;
  }

  // Resolves once every candidate is in the offer: the server takes no
  // candidates later.
  function gathered(pc) {
    return new Promise(function (resolve) {
      if (pc.iceGatheringState === 'complete') return resolve();
      pc.addEventListener('icegatheringstatechange', function () {
        if (pc.iceGatheringState === 'complete') resolve();
      });
      setTimeout(resolve, WAIT_MS / 2);
    });
  }

  function play(img, address) {
    var pc = new RTCPeerConnection();
    var video = document.createElement('video');
    var session = null;
    var playing = false;
    var source = img.src;
    video.muted = true;
    video.autoplay = true;
    video.playsInline = true;
    video.width = img.width;
    video.height = img.height;
    video.style.cssText = img.style.cssText;
    video.title = img.alt;
    video.hidden = true;  // beside the picture until it plays
    img.after(video);

    function end() {
      clearTimeout(timer);
      pc.close();
      if (session) fetch(session, { method: 'DELETE', keepalive: true }).catch(function () {});
      session = null;
      if (playing) {
        img.src = source;
        video.before(img);
        playing = false;
      }
      video.remove();
    }
    // Not connected within 3 s: the picture stays. Connected, the video has
    // a while longer for its first frame (an encoder that was idle starts).
    var timer = setTimeout(function () {
      if (pc.connectionState !== 'connected') return end();
      timer = setTimeout(function () { if (!playing) end(); }, PLAY_MS);
    }, WAIT_MS);

    pc.addTransceiver('video', { direction: 'recvonly' });
    pc.ontrack = function (event) {
      video.srcObject = event.streams[0] || new MediaStream([event.track]);
    };
    video.addEventListener('playing', function () {
      if (playing || !session) return;
      playing = true;
      clearTimeout(timer);
      video.hidden = false;
      img.removeAttribute('src');  // the motion-JPEG stream ends
      img.remove();
    });
    pc.onconnectionstatechange = function () {
      if (pc.connectionState === 'failed') end();
    };
    window.addEventListener('pagehide', end);

    pc.createOffer()
      .then(function (offer) { return pc.setLocalDescription(offer); })
      .then(function () { return gathered(pc); })
      .then(function () {
        return fetch(address, {
          method: 'POST',
          headers: { 'Content-Type': 'application/sdp' },
          body: pc.localDescription.sdp,
        });
      })
      .then(function (answer) {
        if (answer.status !== 201) throw new Error('WHEP answered ' + answer.status);
        session = new URL(answer.headers.get('Location'), location.href).href;
        return answer.text();
      })
      .then(function (sdp) { return pc.setRemoteDescription({ type: 'answer', sdp: sdp }); })
      .catch(end);
  }

  if (!window.RTCPeerConnection || !window.fetch) return;
  Array.prototype.forEach.call(document.querySelectorAll('img'), function (img, index) {
    var address = offerAddress(img, index);
    if (address) play(img, address);
  });
})();

(function () {
  'use strict';
  var tips = [
    '服务器正在根据您的评价挑选电影，通常只需几秒钟。',
    '小提示：评价的电影越多，推送越符合您的口味。',
    '小提示：关注好友后，好友力荐的电影也会推送给您。',
    '小提示：在“搜索”中找到想看的电影，可以立即推送。'
  ];
  var started = Date.now();
  var elapsed = document.getElementById('elapsed');
  var tip = document.getElementById('tip');
  setInterval(function () {
    var seconds = Math.floor((Date.now() - started) / 1000);
    elapsed.textContent = String(seconds);
    tip.textContent = tips[Math.floor(seconds / 5) % tips.length];
  }, 1000);
})();

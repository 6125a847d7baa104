(function () {
  'use strict';
  var V = window.Vadeko;
  var body = document.body;
  var movieId = Number(body.getAttribute('data-movie-id'));
  var fetchMethod = Number(body.getAttribute('data-fetch-method'));
  var status = document.getElementById('status');
  var rateStatus = document.getElementById('rateStatus');

  function download(client) {
    V.setStatus(status, '正在开始下载…');
    V.api('download', { movie_id: movieId, client: client, fetch_method: fetchMethod }).then(function () {
      V.setStatus(status, client === 'vadeko' ? '已开始下载，可在“正在下载”中查看进度。' : '已交给迅雷下载。', 'ok');
    }, function (err) { V.setStatus(status, err.message, 'error'); });
  }

  var own = document.getElementById('btnDownload');
  if (own) own.addEventListener('click', function () { download('vadeko'); });
  document.getElementById('btnThunder').addEventListener('click', function () { download('thunder'); });

  Array.prototype.forEach.call(document.querySelectorAll('.score'), function (button) {
    button.addEventListener('click', function () {
      var score = Number(button.getAttribute('data-score'));
      V.setStatus(rateStatus, '正在提交评价…');
      V.api('rate', {
        movie_id: movieId,
        score: score,
        recommend_all: document.getElementById('recommendAll').checked,
        comment: document.getElementById('comment').value
      }).then(function () {
        Array.prototype.forEach.call(document.querySelectorAll('.score'), function (b) {
          b.classList.toggle('chosen', b === button);
        });
        V.setStatus(rateStatus, '您给了 ' + score + ' 分，谢谢！Vadeko 会据此为您推送新电影。', 'ok');
      }, function (err) { V.setStatus(rateStatus, err.message, 'error'); });
    });
  });

  // Download-manager-only movies: the client asks the page to start the
  // download manager with the movie's own link.
  if (fetchMethod === 5) {
    window.StartThunderDownload = function () {
      var link = body.getAttribute('data-fetch-url');
      if (!link) return false;
      var a = V.el('a', { href: link, className: 'hidden' });
      body.appendChild(a);
      a.click();
      body.removeChild(a);
      V.setStatus(status, '已交给迅雷下载，请在迅雷中查看进度。', 'ok');
      return true;
    };
  }
})();

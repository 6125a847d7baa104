(function () {
  'use strict';
  var V = window.Vadeko;
  var body = document.body;
  var movieId = Number(body.getAttribute('data-movie-id'));
  var fetchMethod = Number(body.getAttribute('data-fetch-method'));
  var status = document.getElementById('status');
  var rateStatus = document.getElementById('rateStatus');
  var rateCard = document.querySelector('.rate');
  var sendButton = document.getElementById('btnRate');
  var comment = document.getElementById('comment');
  var chosen = Number(rateCard.getAttribute('data-my-score')) || 0;
  var words = ['很差', '较差', '还行', '推荐', '力荐'];

  // The client acts on the request in its own time and may refuse it (with a
  // message of its own): the page says only what the list then shows.
  var kStartedStates = { vadeko: [4, 12], thunder: [64] };
  var kPollMs = 500;
  // After the wait the page keeps looking, slower, for a late start.
  var kLateMs = 60000;
  // Set once the client itself says the download manager has the movie: that
  // outranks whatever a poll still on its way would say.
  var handedOffByClient = false;

  function waitMs() {
    return Number(body.getAttribute('data-wait-ms')) || 15000;
  }

  function outcome(client, before, button, deadline, told) {
    V.api('movie_state', { movie_id: movieId }).then(function (data) {
      if (handedOffByClient) return;
      var started = kStartedStates[client].indexOf(data.status) >= 0 && data.status !== before;
      if (started) {
        V.setStatus(status, data.text, 'ok');
        var actions = document.querySelector('.actions');
        if (actions) actions.textContent = '';
        return;
      }
      var now = Date.now();
      if (now >= deadline && !told) {
        told = true;
        V.setStatus(status, client === 'vadeko'
          ? 'Vadeko 没有开始下载这部电影，请看 Vadeko 窗口中的提示。'
          : 'Vadeko 没有把这部电影交给迅雷，请看 Vadeko 窗口中的提示。', 'error');
        button.disabled = false;
      }
      if (now < deadline + kLateMs) {
        setTimeout(function () { outcome(client, before, button, deadline, told); },
          told ? kPollMs * 4 : kPollMs);
      }
    }, function (err) {
      V.setStatus(status, err.message, 'error');
      button.disabled = false;
    });
  }

  function download(client, button) {
    button.disabled = true;
    var before = Number(body.getAttribute('data-list-status')) || 0;
    V.setStatus(status, '正在交给 Vadeko…');
    V.api('download', { movie_id: movieId, client: client, fetch_method: fetchMethod }).then(function () {
      if (handedOffByClient) return;
      V.setStatus(status, '已交给 Vadeko，等待它开始…');
      outcome(client, before, button, Date.now() + waitMs(), false);
    }, function (err) {
      V.setStatus(status, err.message, 'error');
      button.disabled = false;
    });
  }

  var dismiss = document.getElementById('btnDismiss');
  if (dismiss) {
    dismiss.addEventListener('click', function () {
      var dismissStatus = document.getElementById('dismissStatus');
      dismiss.disabled = true;
      V.api('dismiss', { movie_id: movieId }).then(function () {
        V.setStatus(dismissStatus, '您已表示不感兴趣，不会再推荐这部电影。', 'ok');
        dismiss.parentNode.removeChild(dismiss);
      }, function (err) {
        V.setStatus(dismissStatus, err.message, 'error');
        dismiss.disabled = false;
      });
    });
  }

  // The client answers by opening the player, or with a message of its own.
  var stream = document.getElementById('btnStream');
  if (stream) {
    stream.addEventListener('click', function () {
      stream.disabled = true;
      V.setStatus(status, '正在请 Vadeko 打开播放器…');
      V.api('stream', { movie_id: movieId }).then(function () {
        V.setStatus(status, '已请 Vadeko 在播放器中边下边播；播放器没有出现时，请看 Vadeko 窗口中的提示。', 'ok');
        setTimeout(function () { stream.disabled = false; }, 3000);
      }, function (err) {
        V.setStatus(status, err.message, 'error');
        stream.disabled = false;
      });
    });
  }

  var own = document.getElementById('btnDownload');
  var thunder = document.getElementById('btnThunder');
  if (own) own.addEventListener('click', function () { download('vadeko', own); });
  if (thunder) thunder.addEventListener('click', function () { download('thunder', thunder); });

  function showAverage(average, count) {
    var cell = document.getElementById('average');
    cell.textContent = '';
    if (!count) { cell.textContent = '暂无评分'; return; }
    cell.appendChild(V.el('span', { className: 'stars', text: V.stars(average) }));
    cell.appendChild(document.createTextNode(' ' + average.toFixed(1) + '（' + count + '人评价）'));
  }

  function pick(score) {
    chosen = score;
    Array.prototype.forEach.call(document.querySelectorAll('.score'), function (b) {
      var on = Number(b.getAttribute('data-score')) === score;
      b.classList.toggle('chosen', on);
      b.setAttribute('aria-pressed', on ? 'true' : 'false');
    });
    sendButton.disabled = false;
    V.setStatus(rateStatus, '');
  }

  Array.prototype.forEach.call(document.querySelectorAll('.score'), function (button) {
    button.addEventListener('click', function () { pick(Number(button.getAttribute('data-score'))); });
  });

  // The rating goes through the client to the service; the page says it is
  // saved only once the service shows it.
  function confirm(score, text, tries) {
    V.api('movie', { movie_id: movieId }).then(function (data) {
      if (data.my_score === score && data.my_comment === text) {
        showAverage(data.average_score, data.rating_count);
        document.getElementById('myRating').textContent =
          '您已评价：' + score + '分（' + words[score - 1] + '）。可以修改后再次发送。';
        V.setStatus(rateStatus, '评价已保存：您给了 ' + score + ' 分，Vadeko 会据此为您推送新电影。', 'ok');
        sendButton.disabled = false;
        return;
      }
      if (tries > 0) { setTimeout(function () { confirm(score, text, tries - 1); }, 1500); return; }
      V.setStatus(rateStatus, '服务器还没有确认这次评价，请稍后重新打开本页查看。', 'error');
      sendButton.disabled = false;
    }, function (err) {
      V.setStatus(rateStatus, err.message, 'error');
      sendButton.disabled = false;
    });
  }

  sendButton.addEventListener('click', function () {
    if (!chosen) { V.setStatus(rateStatus, '请先选一个分数。', 'error'); return; }
    var score = chosen;
    var text = comment.value.trim();
    sendButton.disabled = true;
    V.setStatus(rateStatus, '正在交给 Vadeko…');
    V.api('rate', {
      movie_id: movieId,
      score: score,
      recommend_all: document.getElementById('recommendAll').checked,
      comment: text
    }).then(function () {
      V.setStatus(rateStatus, 'Vadeko 正在发送您的评价，等待服务器确认…');
      confirm(score, text, 10);
    }, function (err) {
      V.setStatus(rateStatus, err.message, 'error');
      sendButton.disabled = false;
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
      handedOffByClient = true;
      V.setStatus(status, '已请求迅雷下载，请在迅雷中查看进度。', 'ok');
      return true;
    };
  }
})();

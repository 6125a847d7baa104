(function () {
  'use strict';
  var V = window.Vadeko;
  var status = document.getElementById('status');
  var footer = document.getElementById('footer');
  var current = 0;
  var busy = false;
  var changed = false;
  var names = { 1: '按您的口味推送', 2: '按电影类型推送' };

  function options() { return document.querySelectorAll('.option'); }

  // The badge follows the method in force, whichever way it was set.
  function markCurrent(method) {
    Array.prototype.forEach.call(options(), function (option) {
      var on = Number(option.getAttribute('data-method')) === method;
      option.classList.toggle('current', on);
      var badge = option.querySelector('.badge');
      if (on && !badge) option.appendChild(V.el('em', { className: 'badge', text: '当前方式' }));
      if (!on && badge) option.removeChild(badge);
    });
  }

  // The kinds are chosen in a page of their own, opened over this one; once
  // they are saved this page says so instead of still asking for them.
  var kKindsPollMs = 2000;
  var kKindsPollEnd = 3 * 60 * 1000;
  function followKinds(until) {
    function again() {
      if (Date.now() < until) setTimeout(function () { followKinds(until); }, kKindsPollMs);
    }
    V.api('kinds', {}).then(function (data) {
      var chosen = (data.chosen || []).map(Number);
      if (Number(data.push_method) === 2 && chosen.length) {
        var names = (data.kinds || []).filter(function (k) {
          return chosen.indexOf(Number(k.id)) >= 0;
        }).map(function (k) { return k.name; });
        V.setStatus(status, '已选择按电影类型推送：' + names.join('、') + '。', 'ok');
      }
      again();
    }, again);
  }

  // With a method already chosen the page can be left as it is: its OK keeps
  // that method (closing the window does the same).
  V.api('kinds', {}).then(function (data) {
    current = Number(data.push_method) || 0;
    if (changed) return;
    if (!names[current]) {
      V.setStatus(status, '请先选择一种推送方式：选好之前，这个窗口不能关闭。');
      return;
    }
    markCurrent(current);
    V.setStatus(status, '当前：' + names[current] + '。可以换一种方式，也可以保持不变。');
    V.showButtonOK(footer, '保持不变');
    document.getElementById('ButtonOK').setAttribute('data-keep', '1');
  }, function () {
    if (!changed) V.setStatus(status, '请先选择一种推送方式：选好之前，这个窗口不能关闭。');
  });

  Array.prototype.forEach.call(options(), function (option) {
    option.addEventListener('click', function () {
      if (busy || changed) return;
      busy = true;
      var method = Number(option.getAttribute('data-method'));
      V.setStatus(status, '正在保存…');
      V.api('push_method', { method: method }).then(function (data) {
        changed = true;
        current = method;
        option.classList.add('chosen');
        markCurrent(method);
        var text = method === 1 ? '已选择按您的口味推送。' : '已选择按电影类型推送，接下来请选择您喜欢的类型。';
        V.setStatus(status, data.saved ? text : text + '（' + data.warning + '）', data.saved ? 'ok' : 'error');
        V.showButtonOK(footer);
        var ok = document.getElementById('ButtonOK');
        ok.textContent = '确定';
        ok.removeAttribute('data-keep');
        if (method === 2) setTimeout(function () { followKinds(Date.now() + kKindsPollEnd); }, kKindsPollMs);
      }, function (err) {
        busy = false;
        V.setStatus(status, err.message, 'error');
      });
    });
  });
})();

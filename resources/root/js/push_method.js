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

  // With a method already chosen the page can be left as it is: its OK keeps
  // that method (closing the window does the same).
  V.api('kinds', {}).then(function (data) {
    current = Number(data.push_method) || 0;
    if (!names[current] || changed) return;
    Array.prototype.forEach.call(options(), function (option) {
      if (Number(option.getAttribute('data-method')) !== current) return;
      option.classList.add('current');
      option.appendChild(V.el('em', { className: 'badge', text: '当前方式' }));
    });
    V.setStatus(status, '当前：' + names[current] + '。可以换一种方式，也可以保持不变。');
    V.showButtonOK(footer, '保持不变');
    document.getElementById('ButtonOK').setAttribute('data-keep', '1');
  }, function () { /* without the current method the page still offers both */ });

  Array.prototype.forEach.call(options(), function (option) {
    option.addEventListener('click', function () {
      if (busy || changed) return;
      busy = true;
      var method = Number(option.getAttribute('data-method'));
      V.setStatus(status, '正在保存…');
      V.api('push_method', { method: method }).then(function (data) {
        changed = true;
        option.classList.add('chosen');
        var text = method === 1 ? '已选择按您的口味推送。' : '已选择按电影类型推送，接下来请选择您喜欢的类型。';
        V.setStatus(status, data.saved ? text : text + '（' + data.warning + '）', data.saved ? 'ok' : 'error');
        V.showButtonOK(footer);
        var ok = document.getElementById('ButtonOK');
        ok.textContent = '确定';
        ok.removeAttribute('data-keep');
      }, function (err) {
        busy = false;
        V.setStatus(status, err.message, 'error');
      });
    });
  });
})();

(function () {
  'use strict';
  var V = window.Vadeko;
  var status = document.getElementById('status');
  var busy = false;
  Array.prototype.forEach.call(document.querySelectorAll('.option'), function (option) {
    option.addEventListener('click', function () {
      if (busy || document.getElementById('ButtonOK')) return;
      busy = true;
      var method = Number(option.getAttribute('data-method'));
      V.setStatus(status, '正在保存…');
      V.api('push_method', { method: method }).then(function (data) {
        option.classList.add('chosen');
        var text = method === 1 ? '已选择按您的口味推送。' : '已选择按电影类型推送，接下来请选择您喜欢的类型。';
        V.setStatus(status, data.saved ? text : text + '（' + data.warning + '）', data.saved ? 'ok' : 'error');
        V.showButtonOK(document.getElementById('footer'));
      }, function (err) {
        busy = false;
        V.setStatus(status, err.message, 'error');
      });
    });
  });
})();

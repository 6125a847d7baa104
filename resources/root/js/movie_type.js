(function () {
  'use strict';
  var V = window.Vadeko;
  var status = document.getElementById('status');
  var grid = document.getElementById('kinds');
  var save = document.getElementById('saveKinds');

  V.api('kinds', {}).then(function (data) {
    grid.textContent = '';
    data.kinds.forEach(function (k) {
      var box = V.el('input', { type: 'checkbox', value: String(k.id), id: 'kind' + k.id });
      box.checked = data.chosen.indexOf(k.id) >= 0;
      grid.appendChild(V.el('label', { className: 'kind' }, [box, k.name]));
    });
    save.disabled = false;
  }, function (err) {
    grid.textContent = '';
    V.setStatus(status, err.message, 'error');
  });

  document.getElementById('kindForm').addEventListener('submit', function (ev) {
    ev.preventDefault();
    var kinds = Array.prototype.map.call(grid.querySelectorAll('input:checked'), function (b) { return Number(b.value); });
    if (!kinds.length) { V.setStatus(status, '请至少选择一种电影类型。', 'error'); return; }
    save.disabled = true;
    V.setStatus(status, '正在保存…');
    V.api('kinds/save', { kinds: kinds }).then(function (data) {
      V.setStatus(status, '已保存：' + data.kinds.map(function (k) { return k.name; }).join('、'), 'ok');
      save.classList.add('hidden');
      V.showButtonOK(document.getElementById('footer'));
    }, function (err) {
      save.disabled = false;
      V.setStatus(status, err.message, 'error');
    });
  });
})();

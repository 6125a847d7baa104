(function () {
  'use strict';
  var V = window.Vadeko;
  var form = document.getElementById('searchForm');
  var input = document.getElementById('q');
  var results = document.getElementById('results');
  var status = document.getElementById('status');
  var heading = document.getElementById('resultTitle');

  function row(movie) {
    var kinds = (movie.kinds || []).map(function (k) { return V.el('span', { className: 'tag', text: k.name }); });
    var button = V.pushButton(movie.id, movie.title, movie.in_list, status);
    return V.el('li', { 'data-id': movie.id }, [
      V.el('div', { className: 'thumb c' + (movie.id % 6), text: V.firstChar(movie.title) }),
      V.el('div', { className: 'main' }, [
        V.el('div', { className: 'title', text: movie.title }),
        V.el('div', { className: 'sub' }, [movie.year ? movie.year + ' 年 ' : ''].concat(kinds))
      ]),
      button
    ]);
  }

  function search(q) {
    q = (q || '').trim();
    if (!q) { V.setStatus(status, '请输入要搜索的内容。', 'error'); return; }
    heading.textContent = '“' + q + '”的搜索结果';
    V.setStatus(status, '正在搜索…');
    results.textContent = '';
    V.api('search', { q: q }).then(function (data) {
      if (!data.movies.length) {
        V.setStatus(status, '没有找到相关的电影，换个关键词试试。');
        return;
      }
      V.setStatus(status, '共找到 ' + data.count + ' 部电影。');
      data.movies.forEach(function (m) { results.appendChild(row(m)); });
    }, function (err) { V.setStatus(status, err.message, 'error'); });
  }

  form.addEventListener('submit', function (ev) { ev.preventDefault(); search(input.value); });

  V.api('kinds', {}).then(function (data) {
    var chips = document.getElementById('kindChips');
    data.kinds.forEach(function (k) {
      var chip = V.el('button', { type: 'button', className: 'chip', text: k.name });
      chip.addEventListener('click', function () { input.value = k.name; search(k.name); });
      chips.appendChild(chip);
    });
  }, function () { /* the search box works without the chips */ });

  window.VadekoSearch = search;
})();

(function () {
  'use strict';
  var V = window.Vadeko;
  var status = document.getElementById('status');
  var following = {};

  function colorOf(name) {
    var sum = 0;
    Array.from(name).forEach(function (c) { sum += c.codePointAt(0); });
    return 'c' + (sum % 6);
  }

  function followButton(name) {
    var on = !!following[name];
    var button = V.el('button', { type: 'button', className: on ? 'btn unfollow' : 'btn primary follow',
      text: on ? '取消关注' : '关注', 'data-name': name });
    button.addEventListener('click', function () {
      button.disabled = true;
      V.api(on ? 'friends/unfollow' : 'friends/follow', { friend: name }).then(function (data) {
        showFriends(data);
        V.setStatus(status, (on ? '已取消关注 ' : '已关注 ') + name, 'ok');
        refreshUsers();
        loadRecommendations();
      }, function (err) {
        button.disabled = false;
        V.setStatus(status, err.message, 'error');
      });
    });
    return button;
  }

  function userRow(u, withButton) {
    return V.el('li', { 'data-name': u.username }, [
      V.el('div', { className: 'avatar ' + colorOf(u.username), text: V.firstChar(u.username) }),
      V.el('div', { className: 'main' }, [
        V.el('div', { className: 'title', text: u.username }),
        V.el('div', { className: 'sub', text: '评价了 ' + u.ratings + ' 部电影 · ' + u.followers + ' 人关注' })
      ]),
      withButton ? followButton(u.username) : null
    ]);
  }

  function fill(list, items, emptyText, make) {
    list.textContent = '';
    if (!items.length) { list.appendChild(V.el('li', { className: 'empty', text: emptyText })); return; }
    items.forEach(function (item) { list.appendChild(make(item)); });
  }

  function showFriends(data) {
    following = {};
    data.following.forEach(function (u) { following[u.username] = true; });
    fill(document.getElementById('following'), data.following, '还没有关注任何人',
      function (u) { return userRow(u, true); });
    fill(document.getElementById('followers'), data.followers, '还没有人关注您',
      function (u) { return userRow(u, false); });
  }

  var lastUsers = null;
  var lastQuery = '';
  function showUsers(users) {
    lastUsers = users;
    document.getElementById('userSection').classList.remove('hidden');
    fill(document.getElementById('userResults'), users, '没有找到这个用户',
      function (u) { return userRow(u, !u.self); });
  }
  // A follow changes that user's follower count: ask again rather than guess.
  function refreshUsers() {
    if (!lastUsers || !lastQuery) return;
    V.api('users/find', { q: lastQuery }).then(function (data) {
      data.users.forEach(function (u) { following[u.username] = u.following; });
      showUsers(data.users);
    }, function () {
      lastUsers.forEach(function (u) { u.following = !!following[u.username]; });
      showUsers(lastUsers);
    });
  }

  function recommendationRow(r) {
    var button = V.pushButton(r.movie_id, r.title, r.in_list, status);
    var when = r.rated_at ? new Date(r.rated_at * 1000).toLocaleDateString('zh-CN') : '';
    return V.el('li', { 'data-id': r.movie_id }, [
      V.el('div', { className: 'thumb c' + (r.movie_id % 6), text: V.firstChar(r.title) }),
      V.el('div', { className: 'main' }, [
        V.el('div', { className: 'title', text: r.title }),
        V.el('div', { className: 'sub' }, [
          V.el('span', { className: 'stars', text: V.stars(r.score) }),
          r.friend + ' 推荐 · ' + when
        ]),
        r.comment ? V.el('div', { className: 'sub', text: '“' + r.comment + '”' }) : null
      ]),
      button
    ]);
  }

  function loadRecommendations() {
    V.api('friends/recommendations', {}).then(function (data) {
      fill(document.getElementById('recommendations'), data.recommendations,
        '关注好友后，这里会显示他们推荐的电影', recommendationRow);
    }, function (err) { V.setStatus(status, err.message, 'error'); });
  }

  document.getElementById('userForm').addEventListener('submit', function (ev) {
    ev.preventDefault();
    var q = document.getElementById('userQuery').value.trim();
    if (!q) { V.setStatus(status, '请输入要查找的用户名。', 'error'); return; }
    V.setStatus(status, '正在查找…');
    V.api('users/find', { q: q }).then(function (data) {
      data.users.forEach(function (u) { following[u.username] = u.following; });
      V.setStatus(status, '');
      lastQuery = q;
      showUsers(data.users);
    }, function (err) { V.setStatus(status, err.message, 'error'); });
  });

  V.api('friends', {}).then(showFriends, function (err) { V.setStatus(status, err.message, 'error'); });
  loadRecommendations();
})();

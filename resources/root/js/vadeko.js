// Shared by every page: the page token, the actions of the local server and a
// small DOM builder that only ever sets text (nothing from the service is
// parsed as HTML).
(function () {
  'use strict';
  var meta = document.querySelector('meta[name="vadeko-token"]');
  var token = meta ? meta.getAttribute('content') : '';

  function api(name, body) {
    return fetch('/api/' + name, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', 'X-Vadeko-Token': token },
      body: JSON.stringify(body || {}),
      credentials: 'same-origin',
      cache: 'no-store'
    }).then(function (res) {
      return res.json().catch(function () {
        return { ok: false, error: '本地服务返回的内容无法识别（' + res.status + '）' };
      }).then(function (data) {
        if (!data.ok) {
          var err = new Error(data.error || ('请求失败（' + res.status + '）'));
          err.code = data.code;
          throw err;
        }
        return data;
      });
    }, function () {
      throw new Error('无法连接本地服务，请重新启动 Vadeko');
    });
  }

  function el(tag, attrs, children) {
    var node = document.createElement(tag);
    Object.keys(attrs || {}).forEach(function (key) {
      if (key === 'text') node.textContent = attrs[key];
      else if (key === 'className') node.className = attrs[key];
      else if (key.indexOf('data-') === 0 || key === 'id' || key === 'type' || key === 'title') {
        node.setAttribute(key, attrs[key]);
      } else node[key] = attrs[key];
    });
    (children || []).forEach(function (child) {
      if (child) node.appendChild(typeof child === 'string' ? document.createTextNode(child) : child);
    });
    return node;
  }

  function setStatus(node, text, kind) {
    if (!node) return;
    node.textContent = text || '';
    node.className = 'status' + (kind ? ' ' + kind : '');
  }

  function stars(score) {
    var s = Math.max(0, Math.min(5, Math.round(score)));
    return '★★★★★'.slice(0, s) + '☆☆☆☆☆'.slice(0, 5 - s);
  }

  function firstChar(text) {
    return text ? Array.from(text)[0] : '?';
  }

  // Shows the element the client's dialog host waits for.
  function showButtonOK(container, label) {
    if (document.getElementById('ButtonOK')) return;
    container.appendChild(el('button', { type: 'button', id: 'ButtonOK', className: 'btn primary', text: label || '确定' }));
  }

  // The "push now" button of a movie; for one already in the user's list it
  // says so instead. status: where the outcome is told.
  function pushButton(id, title, inList, status) {
    if (inList) {
      return el('button', { type: 'button', className: 'btn done push', text: '已在列表中', 'data-id': id, disabled: true });
    }
    var button = el('button', { type: 'button', className: 'btn primary push', text: '立即推送', 'data-id': id });
    button.addEventListener('click', function () {
      button.disabled = true;
      button.textContent = '推送中…';
      api('push_now', { movie_id: id }).then(function (data) {
        var there = data.status !== 'pushed';
        button.textContent = there ? '已在列表中' : '已推送';
        button.className = 'btn done push';
        setStatus(status, '《' + title + '》' + (there ? '已在您的电影列表中。' : '已推送到您的新推送列表。'), 'ok');
      }, function (err) {
        button.disabled = false;
        button.textContent = '立即推送';
        setStatus(status, err.message, 'error');
      });
    });
    return button;
  }

  window.Vadeko = { api: api, el: el, setStatus: setStatus, stars: stars, firstChar: firstChar,
    showButtonOK: showButtonOK, pushButton: pushButton };
})();

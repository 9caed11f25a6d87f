// SPDX-License-Identifier: Apache-2.0
// Brings the page up to date every few seconds from the console's figures. Every text is set
// as text, never as markup: names come from the workstations.
(function () {
  'use strict';
  var everyMs = 15000;

  function text(id, value) {
    var e = document.getElementById(id);
    if (e) { e.textContent = value; }
  }

  function rows(id, list, cells, rowClass) {
    var body = document.getElementById(id);
    if (!body) { return; }
    while (body.firstChild) { body.removeChild(body.firstChild); }
    list.forEach(function (item) {
      var tr = document.createElement('tr');
      if (rowClass) { tr.className = rowClass(item); }
      cells.forEach(function (c) {
        var td = document.createElement('td');
        td.textContent = item[c.key];
        if (c.num) { td.className = 'num'; }
        tr.appendChild(td);
      });
      body.appendChild(tr);
    });
  }

  function bars(hours) {
    hours.forEach(function (h) {
      var bar = document.getElementById('bar' + h.hour);
      if (!bar) { return; }
      bar.setAttribute('y', h.y);
      bar.setAttribute('height', h.height);
      var tip = bar.firstChild;
      if (tip) { tip.textContent = h.label; }
    });
  }

  function show(now) {
    text('at', now.at);
    text('billed', now.billed);
    text('received', now.received);
    text('bills', now.bills);
    text('openshift', now.openShift);
    bars(now.hours);
    rows('stations', now.stations, [
      { key: 'name' }, { key: 'state' }, { key: 'user' }, { key: 'elapsed', num: true },
      { key: 'charge', num: true }
    ], function (s) { return s.state === 'Free' ? 'free' : (s.state === 'Disconnected' ? 'disconnected' : ''); });
    rows('shifts', now.shifts, [
      { key: 'closed' }, { key: 'by' }, { key: 'bills', num: true }, { key: 'billed', num: true },
      { key: 'expected', num: true }, { key: 'counted', num: true },
      { key: 'difference', num: true }
    ]);
  }

  function poll() {
    fetch('/now.json', { cache: 'no-store', credentials: 'same-origin' })
      .then(function (r) {
        if (r.status === 401) { window.location.assign('/login'); return null; }
        return r.ok ? r.json() : null;
      })
      .then(function (now) { if (now) { show(now); } })
      .catch(function () {})
      .then(function () { window.setTimeout(poll, everyMs); });
  }

  window.setTimeout(poll, everyMs);
}());

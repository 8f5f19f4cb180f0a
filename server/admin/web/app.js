// The zqosrv dashboard: status, players (with Kick and Ban), pause and resume, the live log and the
// map with the players on it. Everything comes from the admin API of the server that served
// this page; the token is asked for once and kept in this tab's session storage.
"use strict";

const TOKEN_KEY = "zqosrv-admin-token";
const POLL_MS = 1000;
const LOG_LINES = 500;

const $ = (id) => document.getElementById(id);
let token = sessionStorage.getItem(TOKEN_KEY) || "";
let pollTimer = null;
let streamAbort = null;
let lastEventId = "";
let mapInfo = null;  // {tiles_per_pixel, pixels}
let mapLoaded = false;
let players = [];
let zoom = 4;
let centred = false;

class Unauthorized extends Error {}

async function api(path, options = {}) {
  const response = await fetch(path, {
    ...options,
    headers: { ...(options.headers || {}), Authorization: "Bearer " + token },
  });
  if (response.status === 401 || response.status === 429) {
    throw new Unauthorized(response.status === 429
      ? "Too many wrong tokens from this address; wait a minute."
      : "That token is not the server's.");
  }
  if (!response.ok) throw new Error(path + ": HTTP " + response.status);
  return response;
}

// --- Token --------------------------------------------------------------------------------

function showLogin(message) {
  stop();
  $("dashboard").hidden = true;
  $("login").hidden = false;
  $("login-error").hidden = !message;
  $("login-error").textContent = message || "";
  $("state").textContent = "not connected";
  $("state").className = "badge";
  $("pause-button").disabled = true;
  $("shutdown-button").disabled = true;
  $("token-input").focus();
}

async function openDashboard() {
  try {
    await refresh();
  } catch (e) {
    if (e instanceof Unauthorized) {
      token = "";
      sessionStorage.removeItem(TOKEN_KEY);
      return showLogin(e.message);
    }
    return showLogin("The server does not answer: " + e.message);
  }
  $("login").hidden = true;
  $("dashboard").hidden = false;
  pollTimer = setInterval(() => refresh().catch(failed), POLL_MS);
  follow();
  loadMap();
}

function stop() {
  if (pollTimer) clearInterval(pollTimer);
  pollTimer = null;
  if (streamAbort) streamAbort.abort();
  streamAbort = null;
}

function failed(e) {
  if (e instanceof Unauthorized) return showLogin(e.message);
  $("state").textContent = "no answer";
  $("state").className = "badge down";
}

// --- Status and players ------------------------------------------------------------------

function duration(seconds) {
  seconds = Math.floor(seconds);
  const d = Math.floor(seconds / 86400), h = Math.floor(seconds / 3600) % 24;
  const m = Math.floor(seconds / 60) % 60, s = seconds % 60;
  return (d ? d + " d " : "") + (d || h ? h + " h " : "") + m + " min " + s + " s";
}

function showStatus(status) {
  $("server-name").textContent = status.server_name;
  $("status-version").textContent = status.version;
  $("status-uptime").textContent = status.running ? duration(status.uptime_seconds) : "stopped";
  $("status-connections").textContent =
    status.connections + " of " + status.max_clients + " (peak " + status.peak_connections + ")";
  $("status-players").textContent = status.players;
  $("status-rates").textContent =
    status.messages_in_per_second + " / " + status.messages_out_per_second + " a second";
  $("status-paused").textContent = status.paused ? "refused (paused)" : "admitted";
  const state = $("state");
  state.textContent = !status.running ? "stopped" : status.paused ? "paused" : "running";
  state.className = "badge " + (!status.running ? "down" : status.paused ? "paused" : "running");
  const pause = $("pause-button");
  pause.disabled = !status.running;
  pause.textContent = status.paused ? "Resume" : "Pause";
  pause.dataset.paused = status.paused ? "1" : "0";
  $("shutdown-button").disabled = !status.running;
  mapInfo = status.map;
}

function setCell(row, index, text) {
  const value = text === null || text === undefined ? "" : String(text);
  if (row.cells[index].textContent !== value) row.cells[index].textContent = value;
}

// Rows are kept by GUID and only their texts change, so that a click is never lost to a
// redraw.
function showPlayers(list) {
  players = list;
  const body = $("players").tBodies[0];
  const old = new Map([...body.rows].map((row) => [row.dataset.guid, row]));
  list.forEach((p, i) => {
    const id = String(p.guid);
    let row = old.get(id);
    old.delete(id);
    if (!row) {
      row = document.createElement("tr");
      row.dataset.guid = id;
      for (let c = 0; c < 8; ++c) row.insertCell();
      row.cells[0].className = "name";
      const kick = document.createElement("button");
      kick.type = "button";
      kick.className = "kick";
      kick.textContent = "Kick";
      kick.addEventListener("click", () => kickPlayer(p.guid, kick));
      const ban = document.createElement("button");
      ban.type = "button";
      ban.className = "ban";
      ban.textContent = "Ban";
      ban.addEventListener("click", () => banPlayer(row.cells[0].textContent, ban));
      const actions = row.insertCell();
      actions.appendChild(kick);
      actions.appendChild(ban);
    }
    if (body.rows[i] !== row) body.insertBefore(row, body.rows[i] || null);
    setCell(row, 0, p.name);
    setCell(row, 1, p.guid);
    setCell(row, 2, p.socket);
    setCell(row, 3, p.address);
    setCell(row, 4, p.x);
    setCell(row, 5, p.y);
    setCell(row, 6, p.ping_ms === null ? "" : p.ping_ms + " ms");
    setCell(row, 7, p.connected_since ? new Date(p.connected_since).toLocaleTimeString() : "");
  });
  for (const row of old.values()) row.remove();
  $("player-count").textContent = list.length ? "(" + list.length + ")" : "";
  $("no-players").hidden = list.length > 0;
  drawDots();
}

async function refresh() {
  const [status, list] = await Promise.all([
    api("/api/status").then((r) => r.json()),
    api("/api/players").then((r) => r.json()),
  ]);
  showStatus(status);
  showPlayers(list.players);
}

async function kickPlayer(guid, button) {
  button.disabled = true;
  try {
    await api("/api/players/" + guid + "/kick", { method: "POST" });
    await refresh();
  } catch (e) {
    failed(e);
    button.disabled = false;
  }
}

// Bans the player's name for good, as a name whatever it reads as: a player may call itself
// 0.0.0.0/0 (the accounts' bans; lifted with DELETE /api/bans/NAME?kind=name). The name is
// the one the list shows, escaped where it is not UTF-8, which the server reads back.
async function banPlayer(name, button) {
  if (!window.confirm("Ban " + name + "? The ban holds until it is lifted.")) return;
  button.disabled = true;
  try {
    await api("/api/bans", {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ target: name, kind: "name", reason: "banned from the dashboard" }),
    });
    await refresh();
  } catch (e) {
    failed(e);
    button.disabled = false;
  }
}

async function togglePause() {
  const paused = $("pause-button").dataset.paused === "1";
  try {
    await api(paused ? "/api/resume" : "/api/pause", { method: "POST" });
    await refresh();
  } catch (e) {
    failed(e);
  }
}

async function shutdownServer() {
  if (!confirm("Shut the server down? Every player is disconnected.")) return;
  try {
    await api("/api/shutdown", { method: "POST" });
  } catch (e) {
    failed(e);
  }
}

// --- Map ---------------------------------------------------------------------------------

async function loadMap() {
  if (mapLoaded) return;
  try {
    const blob = await (await api("/api/map.png")).blob();
    $("map-image").src = URL.createObjectURL(blob);
    mapLoaded = true;
    setZoom(zoom);
  } catch (e) {
    $("map-note").textContent = "The map could not be loaded: " + e.message;
  }
}

function scale() {
  return mapInfo ? zoom / mapInfo.tiles_per_pixel : 0;
}

function setZoom(value) {
  zoom = value;
  if (!mapInfo) return;
  const size = mapInfo.pixels * zoom;
  $("map-image").style.width = size + "px";
  $("map-image").style.height = size + "px";
  $("map-note").textContent = "One pixel of the picture is " + mapInfo.tiles_per_pixel + " × " +
    mapInfo.tiles_per_pixel + " tiles; dark: blocked, grey: partly blocked.";
  centred = false;
  drawDots();
}

// One dot with the name for each player; dots move smoothly between polls.
function drawDots() {
  const map = $("map");
  const k = scale();
  if (!k) return;
  const seen = new Set();
  const onTile = new Map();  // names of players on one tile stack downwards
  for (const p of players) {
    const id = String(p.guid);
    const tile = p.x + "," + p.y;
    const below = onTile.get(tile) || 0;
    onTile.set(tile, below + 1);
    seen.add(id);
    let dot = map.querySelector('.dot[data-guid="' + id + '"]');
    if (!dot) {
      dot = document.createElement("div");
      dot.className = "dot";
      dot.dataset.guid = id;
      dot.appendChild(document.createElement("span"));
      map.appendChild(dot);
    }
    dot.firstChild.textContent = p.name;
    dot.firstChild.style.top = -6 + 13 * below + "px";
    dot.title = p.name + " (" + p.x + ", " + p.y + ")";
    dot.style.left = (p.x + 0.5) * k + "px";
    dot.style.top = (p.y + 0.5) * k + "px";
  }
  for (const dot of map.querySelectorAll(".dot")) if (!seen.has(dot.dataset.guid)) dot.remove();
  if (!centred && players.length && mapLoaded) {
    centred = true;
    const frame = $("map-frame");
    const cx = players.reduce((s, p) => s + p.x, 0) / players.length * k;
    const cy = players.reduce((s, p) => s + p.y, 0) / players.length * k;
    frame.scrollLeft = cx - frame.clientWidth / 2;
    frame.scrollTop = cy - frame.clientHeight / 2;
  }
}

// --- Events ------------------------------------------------------------------------------

function addLogLine(text, className) {
  const log = $("log");
  const atBottom = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
  const li = document.createElement("li");
  li.textContent = text;
  if (className) li.className = className;
  log.appendChild(li);
  while (log.children.length > LOG_LINES) log.firstChild.remove();
  if (atBottom) log.scrollTop = log.scrollHeight;
}

function onEvent(name, data) {
  switch (name) {
    case "log":
      return addLogLine(data.line);
    case "join":
      addLogLine("→ " + data.name + " joined as GUID " + data.guid, "game");
      return refresh().catch(failed);
    case "leave":
      addLogLine("← " + data.name + " left", "game");
      return refresh().catch(failed);
    case "speech":
      return addLogLine(data.name + " says " + data.text, "game");
    case "kick":
      addLogLine("✕ " + (data.name || "socket " + data.socket) + " kicked by " + data.by, "kick");
      return refresh().catch(failed);
  }
}

// Server-sent events read with fetch, so that the token goes in a header; reconnects with
// Last-Event-ID so that nothing is shown twice or missed while the history holds it.
async function follow() {
  const controller = new AbortController();
  streamAbort = controller;
  const headers = { Authorization: "Bearer " + token };
  if (lastEventId) headers["Last-Event-ID"] = lastEventId;
  try {
    const response = await fetch("/api/events", { headers, signal: controller.signal });
    if (response.status === 401 || response.status === 429) return showLogin("The token was refused.");
    $("stream-state").textContent = "(live)";
    const reader = response.body.pipeThrough(new TextDecoderStream()).getReader();
    let buffer = "";
    for (;;) {
      const { value, done } = await reader.read();
      if (done) break;
      buffer += value;
      let end;
      while ((end = buffer.indexOf("\n\n")) >= 0) {
        const block = buffer.slice(0, end);
        buffer = buffer.slice(end + 2);
        let name = "message", data = "";
        for (const line of block.split("\n")) {
          if (line.startsWith("id: ")) lastEventId = line.slice(4);
          else if (line.startsWith("event: ")) name = line.slice(7);
          else if (line.startsWith("data: ")) data += line.slice(6);
        }
        if (data) onEvent(name, JSON.parse(data));
      }
    }
  } catch (e) {
    if (controller.signal.aborted) return;
  }
  if (streamAbort !== controller) return;
  $("stream-state").textContent = "(reconnecting)";
  setTimeout(() => { if (streamAbort === controller) follow(); }, 2000);
}

// --- Start -------------------------------------------------------------------------------

$("token-form").addEventListener("submit", (event) => {
  event.preventDefault();
  token = $("token-input").value.trim();
  $("token-input").value = "";
  sessionStorage.setItem(TOKEN_KEY, token);
  openDashboard();
});
$("forget-button").addEventListener("click", () => {
  token = "";
  sessionStorage.removeItem(TOKEN_KEY);
  showLogin("");
});
$("pause-button").addEventListener("click", togglePause);
$("shutdown-button").addEventListener("click", shutdownServer);
$("zoom").addEventListener("change", (e) => setZoom(Number(e.target.value)));

if (token) openDashboard();
else showLogin("");

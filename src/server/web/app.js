// The matrix in a browser: draws the state the server sends over the WebSocket and sends the
// operator's requests the same way. Everything shown comes from the matrix's own report: a
// click marks its crosspoint as pending until the confirming state arrives.
"use strict";

const PORTS = 4;
const SCENES = 8;
const PENDING_MS = 6000;

let socket = null;
let nextId = 1;
const waiting = new Map();
let state = null;
let retryMs = 500;
const pendingRoutes = new Map(); // output -> {input, timer}
let downReason = ""; // why the line to the matrix is down, as the server said
let resultTimer = null;
let loggingOut = false;
const SESSION_KEY = "tavlo-session"; // set while this browser holds a session of the login
const RESULT_MS = 6000;
const $ = (id) => document.getElementById(id);

// An element with attributes and children; text is always set as text, never as markup.
function el(tag, attrs = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attrs)) {
    if (key === "text") node.textContent = value;
    else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value);
  }
  node.append(...children);
  return node;
}

function say(text, isError = false) {
  const status = $("status");
  status.textContent = text;
  status.className = isError ? "error" : "";
}

// What became of an action, right below the control that asked for it: under its row of the
// grid, or inside its scene, fieldset or field. One result at a time; errors stay until the
// next action.
function showResult(control, text, isError) {
  for (const old of document.querySelectorAll(".result")) dropResult(old);
  clearTimeout(resultTimer);
  const result = el("output", { class: isError ? "result error" : "result", role: "status", text });
  const holder = control?.closest("tr, li, fieldset, .field");
  if (holder?.tagName === "TR") {
    holder.after(el("tr", { class: "result-row" }, el("td", { colspan: holder.cells.length }, result)));
  } else if (holder) {
    holder.append(result);
  } else {
    say(text, isError);
    return;
  }
  result.scrollIntoView({ block: "nearest", inline: "nearest" });
  if (!isError) resultTimer = setTimeout(() => dropResult(result), RESULT_MS);
}

function dropResult(result) {
  (result.closest(".result-row") ?? result).remove();
}

// A name, whole on hover where its box cuts it short.
function nameSpan(className, text) {
  return el("span", { class: className, text, title: text });
}

// Names as the matrix reports them, or the port's number while they have not arrived.
const inputName = (n) => state?.inputs[n - 1]?.name || `Input ${n}`;
const outputName = (n) => {
  const output = state?.outputs[n - 1];
  return output?.hdmiName ? `${output.hdmiName} / ${output.hdbtName ?? ""}` : `Output ${n}`;
};
const sceneName = (n) => state?.scenes[n - 1]?.name || `Scene ${n}`;

// ---- talking to the server

function request(fields) {
  return new Promise((resolve, reject) => {
    if (!socket || socket.readyState !== WebSocket.OPEN) {
      reject(new Error("not connected to the server"));
      return;
    }
    const id = nextId++;
    waiting.set(id, { resolve, reject });
    socket.send(JSON.stringify({ id, ...fields }));
  });
}

async function act(fields, what, control) {
  try {
    await request(fields);
    showResult(control, `${what}: sent`, false);
    return true;
  } catch (error) {
    showResult(control, `${what}: ${error.message}`, true);
    return false;
  }
}

function onMessage(message) {
  if (message.event === "state") render(message.state);
  else if (message.event === "link") {
    downReason = message.state === "down" ? message.reason ?? "" : "";
    showLink(message.state, downReason);
  }
  else if (message.event === "shutdown") say("The server is ending.", true);
  else if (waiting.has(message.id)) {
    const { resolve, reject } = waiting.get(message.id);
    waiting.delete(message.id);
    if (message.ok) resolve(message);
    else reject(new Error(message.error.message));
  }
}

function failWaiting(why) {
  for (const { reject } of waiting.values()) reject(new Error(why));
  waiting.clear();
}

function openSocket() {
  const scheme = location.protocol === "https:" ? "wss://" : "ws://";
  socket = new WebSocket(`${scheme}${location.host}/api/v1/ws`);
  socket.onopen = () => {
    retryMs = 500;
    request({ cmd: "subscribe" }).catch(() => {});
  };
  socket.onmessage = (event) => onMessage(JSON.parse(event.data));
  socket.onclose = () => {
    socket = null;
    failWaiting("the connection to the server was lost");
    if (loggingOut) {
      loggingOut = false;
      return;
    }
    showLink("unreachable", "the server cannot be reached; trying again");
    setTimeout(start, retryMs);
    retryMs = Math.min(retryMs * 2, 8000);
  };
}

// The state first, over HTTP: it says whether a login is needed before anything else is opened.
async function start() {
  let response;
  try {
    response = await fetch("api/v1/status", { cache: "no-store" });
  } catch {
    showLink("unreachable", "the server cannot be reached; trying again");
    setTimeout(start, retryMs);
    retryMs = Math.min(retryMs * 2, 8000);
    return;
  }
  if (response.status === 401) {
    localStorage.removeItem(SESSION_KEY);
    showLogin();
    return;
  }
  const reply = await response.json();
  $("login").hidden = true;
  $("controls").hidden = false;
  $("logout").hidden = localStorage.getItem(SESSION_KEY) !== "1";
  render(reply.state);
  openSocket();
}

async function login(event) {
  event.preventDefault();
  const response = await fetch("api/v1/login", {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ token: $("token").value }),
  });
  if (!response.ok) {
    const reply = await response.json().catch(() => null);
    $("login-error").textContent = reply?.error?.message ?? `refused (${response.status})`;
    return;
  }
  $("token").value = "";
  $("login-error").textContent = "";
  localStorage.setItem(SESSION_KEY, "1");
  start();
}

async function logout() {
  loggingOut = socket !== null; // the socket's close is this, not a lost server
  localStorage.removeItem(SESSION_KEY);
  try {
    await fetch("api/v1/logout", { method: "POST", headers: { "Content-Type": "application/json" }, body: "{}" });
  } catch {
    // The session ends with the server's memory of it anyway; the page forgets it now.
  }
  socket?.close();
  showLogin();
}

function showLogin() {
  $("controls").hidden = true;
  $("logout").hidden = true;
  $("login").hidden = false;
  showLink("unknown", "log in to see the matrix");
  $("token").focus();
}

function showLink(link, reason) {
  const words = { up: "connected", down: "down", unreachable: "server unreachable" };
  const node = $("link-state");
  node.textContent = (words[link] ?? "unknown") + (reason ? ` (${reason})` : "");
  node.className = `link-${link}`;
  const why = {
    down: `The line to the matrix is down${reason ? `: ${reason}` : ""}. The controls come back when it returns.`,
    unreachable: "The server cannot be reached; trying again. The controls come back when it answers.",
  }[link];
  enableControls(!why, why);
}

// While nothing can reach the matrix, no control pretends it could: each is greyed and says why.
function enableControls(enabled, why) {
  for (const control of document.querySelectorAll("#controls button, #controls input, #controls select")) {
    control.disabled = !enabled;
    if (enabled) control.removeAttribute("title");
    else control.title = why;
  }
  const notice = $("down-notice");
  notice.hidden = enabled;
  notice.textContent = enabled ? "" : why;
}

// ---- building the controls once

function buildGrid() {
  const head = $("grid").tHead.rows[0];
  const foot = $("grid").tFoot.rows[0];
  for (let input = 1; input <= PORTS; input++) {
    head.append(el("th", { scope: "col", id: `in-${input}` }));
    const all = el("button", { class: "all", "data-input": input, onclick: (event) => routeAll(input, event.currentTarget) });
    foot.append(el("td", {}, all));
  }
  const body = $("grid").tBodies[0];
  for (let output = 1; output <= PORTS; output++) {
    const row = el("tr", {}, el("th", { scope: "row", id: `out-${output}` }));
    for (let input = 1; input <= PORTS; input++) {
      const button = el("button", {
        class: "cross", "data-output": output, "data-input": input, "aria-pressed": "false",
        onclick: (event) => route(input, output, event.currentTarget),
      }, el("span", { class: "mark", "aria-hidden": "true" }), el("span", { class: "word" }));
      row.append(el("td", {}, button));
    }
    body.append(row);
  }
}

function buildScenes() {
  const list = $("scenes");
  for (let scene = 1; scene <= SCENES; scene++) {
    list.append(el("li", { "data-scene": scene },
      el("span", { class: "number", text: scene }),
      el("span", { class: "name" }),
      el("button", { class: "recall", onclick: (event) => recall(scene, event.currentTarget), text: "Recall" }),
      el("button", { class: "save", onclick: () => askSave(scene), text: "Save" })));
  }
  $("save-dialog").addEventListener("close", saveAnswered);
}

function buildAudio() {
  for (let input = 1; input <= PORTS; input++) {
    const choices = ["off", "h", "a"].map((mode) => el("label", {},
      el("input", { type: "radio", name: `audio-in-${input}`, value: mode,
        onchange: (event) => act({ cmd: "audio", input, mode }, `Audio of input ${input}`, event.currentTarget) }),
      mode === "off" ? "Off" : mode.toUpperCase()));
    $("audio-inputs").append(el("fieldset", { "data-input": input },
      el("legend", { id: `audio-in-${input}` }), ...choices));
  }
  for (let output = 1; output <= PORTS; output++) {
    const toggles = [["iis", "A", "I2S"], ["spdif", "S", "S/PDIF"]].map(([path, caption, kind]) =>
      el("button", { class: "switch", "data-path": path, "aria-pressed": "false",
        onclick: (event) => switchAudio(output, path, event.currentTarget) },
        el("span", { text: `${caption} (${kind})` }), el("span", { class: "word" })));
    $("audio-outputs").append(el("fieldset", { "data-output": output },
      el("legend", { id: `audio-out-${output}` }), ...toggles));
  }
}

function buildEdid() {
  for (let input = 1; input <= PORTS; input++) {
    const select = el("select", { id: `edid-${input}`, onchange: (event) => chooseEdid(input, event.target) });
    $("edid").append(el("div", { class: "field" }, el("label", { for: `edid-${input}` }), select));
  }
}

// ---- the operator's requests

function route(input, output, control) {
  markPending(output, input);
  act({ cmd: "route", input, output }, `Input ${input} to output ${output}`, control).then((sent) => {
    if (!sent) clearPending(output);
  });
}

function routeAll(input, control) {
  for (let output = 1; output <= PORTS; output++) markPending(output, input);
  act({ cmd: "route", input, output: "all" }, `Input ${input} to all outputs`, control).then((sent) => {
    if (!sent) for (let output = 1; output <= PORTS; output++) clearPending(output);
  });
}

function recall(scene, control) {
  act({ cmd: "scene", action: "recall", scene }, `Recall of scene ${scene}`, control);
}

function askSave(scene) {
  const dialog = $("save-dialog");
  dialog.dataset.scene = scene;
  $("save-question").textContent =
    `Save the current routing as scene ${scene} (${sceneName(scene)})? What it holds now is replaced.`;
  dialog.showModal();
}

function saveAnswered() {
  const dialog = $("save-dialog");
  const scene = Number(dialog.dataset.scene);
  if (dialog.returnValue === "save")
    act({ cmd: "scene", action: "save", scene }, `Save of scene ${scene}`,
      document.querySelector(`#scenes li[data-scene="${scene}"] .save`));
  dialog.returnValue = "";
}

function switchAudio(output, path, button) {
  const on = button.getAttribute("aria-pressed") !== "true";
  act({ cmd: "audio", output, path, on }, `Audio ${path} of output ${output}`, button);
}

function chooseEdid(input, select) {
  const [mode, source] = select.value.split(":");
  act({ cmd: "edid", input, mode, source: Number(source) }, `EDID of input ${input}`, select);
}

function markPending(output, input) {
  clearPending(output);
  const timer = setTimeout(() => clearPending(output), PENDING_MS);
  pendingRoutes.set(output, { input, timer });
  drawRouting();
}

function clearPending(output) {
  const pending = pendingRoutes.get(output);
  if (!pending) return;
  clearTimeout(pending.timer);
  pendingRoutes.delete(output);
  drawRouting();
}

// ---- drawing the state

function render(next) {
  state = next;
  $("model").textContent = state.device.model ?? "—";
  $("firmware").textContent = state.device.firmware ?? "—";
  if (state.link === "down") showLink("down", downReason);
  else if (state.link) showLink(state.link, state.stale ? "the values shown may be out of date" : "");
  for (let output = 1; output <= PORTS; output++) {
    const pending = pendingRoutes.get(output);
    if (pending && state.outputs[output - 1].input === pending.input) clearPending(output);
  }
  drawRouting();
  drawScenes();
  drawAudio();
  drawEdid();
}

function drawRouting() {
  if (!state) return;
  for (let input = 1; input <= PORTS; input++) {
    const head = $(`in-${input}`);
    head.replaceChildren(el("span", { class: "port", text: `In ${input}` }), nameSpan("name", inputName(input)));
    const all = document.querySelector(`button.all[data-input="${input}"]`);
    all.textContent = "All";
    all.setAttribute("aria-label", `${inputName(input)} (input ${input}) to all outputs`);
  }
  for (let output = 1; output <= PORTS; output++) {
    $(`out-${output}`).replaceChildren(el("span", { class: "port", text: `Out ${output}` }),
      nameSpan("name", outputName(output)));
    const routed = state.outputs[output - 1].input;
    const pending = pendingRoutes.get(output);
    for (let input = 1; input <= PORTS; input++) {
      const button = document.querySelector(`button.cross[data-output="${output}"][data-input="${input}"]`);
      const on = routed === input;
      const waitingFor = pending?.input === input && !on;
      button.setAttribute("aria-pressed", String(on));
      button.setAttribute("aria-label", `${inputName(input)} (input ${input}) to ${outputName(output)} (output ${output})`);
      button.classList.toggle("pending", waitingFor);
      button.querySelector(".mark").textContent = on ? "●" : waitingFor ? "…" : "○";
      button.querySelector(".word").textContent = on ? "routed" : waitingFor ? "routing" : "";
    }
  }
}

function drawScenes() {
  for (let scene = 1; scene <= SCENES; scene++) {
    const item = document.querySelector(`#scenes li[data-scene="${scene}"]`);
    item.querySelector(".name").textContent = sceneName(scene);
    item.querySelector(".name").title = sceneName(scene);
    item.querySelector(".recall").setAttribute("aria-label", `Recall scene ${scene}, ${sceneName(scene)}`);
    item.querySelector(".save").setAttribute("aria-label", `Save the routing as scene ${scene}, ${sceneName(scene)}`);
  }
}

function drawAudio() {
  for (let input = 1; input <= PORTS; input++) {
    $(`audio-in-${input}`).textContent = `In ${input} · ${inputName(input)}`;
    $(`audio-in-${input}`).title = inputName(input);
    const mode = state.inputs[input - 1].audio;
    for (const radio of document.querySelectorAll(`input[name="audio-in-${input}"]`))
      radio.checked = radio.value === mode;
  }
  for (let output = 1; output <= PORTS; output++) {
    $(`audio-out-${output}`).textContent = `Out ${output} · ${outputName(output)}`;
    $(`audio-out-${output}`).title = outputName(output);
    const audio = state.outputs[output - 1].audio;
    for (const button of document.querySelectorAll(`fieldset[data-output="${output}"] .switch`)) {
      const on = audio[button.dataset.path] === true;
      button.setAttribute("aria-pressed", String(on));
      button.querySelector(".word").textContent = on ? "on" : "off";
    }
  }
}

function edidOptions() {
  const names = state.edidNames;
  const group = (label, mode, list) => el("optgroup", { label },
    ...list.map((name, k) => el("option", { value: `${mode}:${k + 1}`, text: `${label} ${k + 1}: ${name ?? "—"}` })));
  return [group("Built-in", "default", names.builtIn), group("User", "user", names.user),
    group("HDMI output", "hdmi", names.hdmiSinks), group("HDBT output", "hdbt", names.hdbtSinks)];
}

let edidNamesShown = "";

function drawEdid() {
  // The choices are built again only when their names change: an open list stays as it is.
  const names = JSON.stringify(state.edidNames);
  const rebuild = names !== edidNamesShown;
  edidNamesShown = names;
  for (let input = 1; input <= PORTS; input++) {
    const select = $(`edid-${input}`);
    select.labels[0].textContent = `In ${input} · ${inputName(input)}`;
    if (rebuild) select.replaceChildren(...edidOptions());
    const edid = state.inputs[input - 1].edid;
    select.value = edid.mode ? `${edid.mode}:${edid.source}` : "";
  }
}

document.addEventListener("DOMContentLoaded", () => {
  buildGrid();
  buildScenes();
  buildAudio();
  buildEdid();
  $("login-form").addEventListener("submit", login);
  $("logout").addEventListener("click", logout);
  start();
});

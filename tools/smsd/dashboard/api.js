// The dashboard's way to the server: JSON calls with the session's CSRF token on every
// write, the problems the API answers turned into one error, and a small helper to
// build the page's elements (text always as textContent, never as markup).
"use strict";

class ApiError extends Error {
  constructor(status, problem) {
    super(problem && problem.detail ? problem.detail : "the server answered " + status);
    this.status = status;
    this.problem = problem || {};
  }
}

const Api = {
  csrf: "",

  async call(method, path, body) {
    const options = { method, headers: { Accept: "application/json" }, credentials: "same-origin" };
    if (method !== "GET") options.headers["X-CSRF-Token"] = Api.csrf;
    if (body !== undefined) {
      options.headers["Content-Type"] = "application/json";
      options.body = JSON.stringify(body);
    }
    const response = await fetch(path, options);
    if (response.status === 401) {
      // The session ended (signed out elsewhere, expired, its token revoked).
      window.location.assign("/");
      throw new ApiError(401, { detail: "signed out" });
    }
    const type = response.headers.get("Content-Type") || "";
    const data = type.includes("json") ? await response.json() : null;
    if (!response.ok) throw new ApiError(response.status, data);
    return data;
  },

  get(path) { return Api.call("GET", path); },
  post(path, body) { return Api.call("POST", path, body === undefined ? {} : body); },
  remove(path) { return Api.call("DELETE", path); },
};

// h("td", {className: "x"}, "text", otherNode): an element with properties and
// children; strings become text nodes.
function h(tag, props, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props || {})) {
    if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else if (key === "dataset") Object.assign(node.dataset, value);
    else if (key.startsWith("aria-")) node.setAttribute(key, value);
    else node[key] = value;
  }
  for (const child of children) {
    if (child === null || child === undefined) continue;
    node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
  return node;
}

function clear(node) {
  while (node.firstChild) node.removeChild(node.firstChild);
  return node;
}

// "2026-12-10T13:47:25Z" as the browser's local time, "2026-12-10 14:47:25"; "" for null.
function when(iso) {
  if (!iso) return "";
  const d = new Date(iso);
  if (isNaN(d)) return String(iso);
  const two = (n) => String(n).padStart(2, "0");
  return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())} ` +
         `${two(d.getHours())}:${two(d.getMinutes())}:${two(d.getSeconds())}`;
}

// Seconds as "5 s", "3 min", "2 h", "4 d".
function age(seconds) {
  if (seconds === null || seconds === undefined) return "never";
  if (seconds < 60) return Math.max(0, Math.round(seconds)) + " s";
  if (seconds < 3600) return Math.round(seconds / 60) + " min";
  if (seconds < 86400) return Math.round(seconds / 3600) + " h";
  return Math.round(seconds / 86400) + " d";
}

function notify(text, isError) {
  const notice = document.getElementById("notice");
  notice.textContent = text;
  notice.classList.toggle("error", Boolean(isError));
}

function reportError(error) {
  const problem = error.problem || {};
  const where = problem.field ? " (" + problem.field + ")" : "";
  notify((problem.title ? problem.title + ": " : "") + error.message + where, true);
}

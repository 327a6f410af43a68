// The dashboard's start: who is signed in, then the page the address names
// (#overview, #conversations, ...), shown again every few seconds while it is open.
"use strict";

const PAGES = { overview: Overview, conversations: Conversations, outbox: Outbox, compose: Compose,
                settings: Settings };
const REFRESH_MS = 10000;
let refreshTimer = null;

function currentPage() {
  const name = window.location.hash.replace(/^#/, "");
  return Object.prototype.hasOwnProperty.call(PAGES, name) ? name : "overview";
}

async function showPage() {
  const name = currentPage();
  for (const key of Object.keys(PAGES)) {
    document.getElementById("page-" + key).hidden = key !== name;
    const link = document.getElementById("nav-" + key);
    if (key === name) link.setAttribute("aria-current", "page");
    else link.removeAttribute("aria-current");
  }
  clearTimeout(refreshTimer);
  try {
    await PAGES[name].show();
    document.body.dataset.loaded = name;
  } catch (error) {
    reportError(error);
  }
  // The overview follows the phones on its own; the other pages on a click.
  if (name === "overview") refreshTimer = setTimeout(showPage, REFRESH_MS);
}

async function start() {
  try {
    const session = await Api.get("/v1/session");
    Api.csrf = session.csrf || "";
    document.getElementById("logout-csrf").value = Api.csrf;
    document.getElementById("who").textContent = session.name;
  } catch (error) {
    reportError(error);
    return;
  }
  for (const page of Object.values(PAGES)) if (page.setup) page.setup();
  window.addEventListener("hashchange", () => {
    notify("");
    showPage();
    document.getElementById("main").focus();
  });
  await showPage();
}

document.addEventListener("DOMContentLoaded", start);

// The dashboard's pages. Each has show(), which loads what it shows from the API; the
// forms and buttons are wired once, in setup().
"use strict";

const STATUSES = ["queued", "sending", "sent", "failed", "unknown"];
const EVENTS = ["message.received", "message.sent", "message.failed", "message.delivered",
                "message.delivery_failed"];

// A level of 0 to 100 (percent) as four bars, drawn in SVG; null as none known.
function levelBars(label, percent) {
  const known = typeof percent === "number" && percent >= 0;
  const lit = known ? Math.round(Math.min(100, percent) / 25) : 0;
  const svg = Chart.node("svg", { viewBox: "0 0 28 16", class: "bars", "aria-hidden": "true" });
  for (let i = 0; i < 4; i++)
    svg.append(Chart.node("rect", { x: i * 7, y: 12 - i * 4, width: 5, height: 4 + i * 4,
                                    class: i < lit ? "bar lit" : "bar" }));
  return h("div", { className: "level" }, h("span", {}, label + ": "), svg,
           h("span", {}, known ? Math.round(percent) + "%" : "unknown"));
}

const Overview = {
  async show() {
    const [phones, stats] = await Promise.all([Api.get("/v1/phones"), Api.get("/v1/stats/hourly?hours=48")]);
    const cards = clear(document.getElementById("phones"));
    if (!phones.phones.length) cards.append(h("p", {}, "No phone has reported yet."));
    for (const phone of phones.phones) {
      cards.append(h("article", { className: "card phone " + (phone.up ? "up" : "down") },
                     h("h3", {}, phone.model || phone.id || "phone",
                       h("span", { className: "state" }, phone.up ? "up" : "down")),
                     h("p", { className: "imei" }, "IMEI " + (phone.imei || "unknown")),
                     levelBars("Signal", phone.signal),
                     levelBars("Battery", phone.battery),
                     h("p", { className: "heartbeat" },
                       typeof phone.heartbeat_age_seconds === "number"
                           ? "Heartbeat " + age(phone.heartbeat_age_seconds) + " ago"
                           : "No heartbeat yet")));
    }
    await Overview.showQueue();
    Chart.draw(document.getElementById("chart"), stats.hours);
  },

  // The count of each status, from the message list (up to a page of 200, "200+" past it).
  async showQueue() {
    const lists = await Promise.all(STATUSES.map((s) => Api.get("/v1/messages?limit=200&status=" + s)));
    const queue = clear(document.getElementById("queue"));
    lists.forEach((list, i) => {
      const count = list.messages.length + (list.next_cursor ? "+" : "");
      queue.append(h("div", { className: "status-count " + STATUSES[i] },
                     h("dt", {}, STATUSES[i]), h("dd", {}, count)));
    });
  },
};

const Conversations = {
  cursor: null,
  current: null,

  async show() {
    Conversations.cursor = null;
    clear(document.getElementById("conversation-list"));
    await Conversations.more();
    if (Conversations.current) await Conversations.open(Conversations.current);
  },

  async more() {
    const query = Conversations.cursor ? "&cursor=" + encodeURIComponent(Conversations.cursor) : "";
    const page = await Api.get("/v1/conversations?limit=50" + query);
    const list = document.getElementById("conversation-list");
    for (const c of page.conversations) {
      list.append(h("li", {},
                    h("button", { type: "button", className: "conversation", dataset: { number: c.number },
                                  onclick: () => Conversations.open(c.number).catch(reportError) },
                      h("strong", {}, c.number), h("span", { className: "when" }, when(c.last_at)),
                      h("span", { className: "preview" }, c.last_text || ""),
                      h("span", { className: "counts" }, `${c.received} in, ${c.sent} out`))));
    }
    if (!page.conversations.length && !Conversations.cursor) list.append(h("li", {}, "No messages yet."));
    Conversations.cursor = page.next_cursor;
    document.getElementById("conversations-more").hidden = !page.next_cursor;
  },

  async open(number) {
    Conversations.current = number;
    const page = await Api.get("/v1/conversations/" + encodeURIComponent(number) + "?limit=500");
    document.getElementById("conversation-title").textContent = "Conversation with " + number;
    const thread = clear(document.getElementById("conversation"));
    for (const item of page.items) {
      const m = item.message;
      const meta = item.direction === "in"
                       ? "received " + when(m.received_at) + (m.complete === false ? " · parts missing" : "")
                       : m.status + (m.delivery && m.delivery !== "none" ? ", " + m.delivery : "") + " · " +
                             when(m.sent_at || m.created_at);
      thread.append(h("li", { className: "bubble " + item.direction, dataset: { id: m.id } },
                      h("p", { className: "text" }, m.text), h("p", { className: "meta" }, meta)));
    }
    if (!page.items.length) thread.append(h("li", {}, "Nothing with this number."));
  },

  setup() {
    document.getElementById("conversations-more").addEventListener("click",
                                                                   () => Conversations.more().catch(reportError));
  },
};

const Outbox = {
  cursor: null,

  query() {
    const status = document.getElementById("outbox-status").value;
    const to = document.getElementById("outbox-to").value.trim();
    return (status ? "&status=" + encodeURIComponent(status) : "") + (to ? "&to=" + encodeURIComponent(to) : "");
  },

  async show() {
    Outbox.cursor = null;
    clear(document.getElementById("outbox-rows"));
    await Outbox.more();
  },

  async more() {
    const query = Outbox.query() + (Outbox.cursor ? "&cursor=" + encodeURIComponent(Outbox.cursor) : "");
    const page = await Api.get("/v1/messages?limit=50" + query);
    const rows = document.getElementById("outbox-rows");
    for (const m of page.messages) rows.append(Outbox.row(m));
    Outbox.cursor = page.next_cursor;
    document.getElementById("outbox-more").hidden = !page.next_cursor;
  },

  // Parts as "2/3 delivered": how many of them reached which state.
  partsText(m) {
    const parts = Array.isArray(m.parts) ? m.parts : [];
    if (!parts.length) return "–";
    const states = {};
    for (const p of parts) states[p.status] = (states[p.status] || 0) + 1;
    const of = parts[0].of || parts.length;
    return Object.entries(states).map(([s, n]) => `${n}/${of} ${s}`).join(", ") +
           " (ref " + parts.map((p) => p.reference ?? "?").join(",") + ")";
  },

  row(m) {
    const actions = h("td", { className: "actions" });
    if (m.status === "queued")
      actions.append(h("button", { type: "button", className: "cancel", onclick: () => Outbox.act(m, "cancel") },
                       "Cancel"));
    if (m.status === "failed" || m.status === "unknown")
      actions.append(h("button", { type: "button", className: "retry", onclick: () => Outbox.act(m, "retry") },
                       "Retry"));
    return h("tr", { dataset: { id: m.id } },
             h("td", {}, m.id), h("td", {}, m.to), h("td", { className: "text" }, m.text),
             h("td", { className: "status" }, h("span", { className: "badge " + m.status }, m.status)),
             h("td", { className: "delivery" }, m.delivery || ""), h("td", {}, Outbox.partsText(m)),
             h("td", {}, m.attempts), h("td", { className: "error-text" }, m.last_error || ""),
             h("td", {}, when(m.created_at)), actions);
  },

  async act(m, action) {
    try {
      const updated = action === "cancel" ? await Api.remove("/v1/messages/" + m.id)
                                          : await Api.post("/v1/messages/" + m.id + "/retry");
      const row = document.querySelector(`#outbox-rows tr[data-id="${m.id}"]`);
      if (row) row.replaceWith(Outbox.row(updated && updated.id ? updated : await Api.get("/v1/messages/" + m.id)));
      notify(`Message ${m.id} ${action === "cancel" ? "cancelled" : "queued again"}.`);
    } catch (error) {
      reportError(error);
    }
  },

  setup() {
    document.getElementById("outbox-filter").addEventListener("submit", (event) => {
      event.preventDefault();
      Outbox.show().catch(reportError);
    });
    document.getElementById("outbox-more").addEventListener("click", () => Outbox.more().catch(reportError));
  },
};

const Compose = {
  timer: null,
  tracked: new Map(),  // id -> the list item showing it
  poller: null,

  // The count of parts and the coding, asked of the server a moment after typing stops.
  scheduleCount() {
    clearTimeout(Compose.timer);
    Compose.timer = setTimeout(() => Compose.count().catch(reportError), 250);
  },

  async count() {
    const text = document.getElementById("compose-text").value;
    const out = document.getElementById("compose-count");
    if (!text) {
      out.textContent = "";
      return;
    }
    const p = await Api.post("/v1/messages/preview", { text });
    const left = p.characters_left ?? p.remaining;
    out.textContent = `${p.parts} part${p.parts === 1 ? "" : "s"}, ${p.coding}` +
                      (left === undefined ? "" : `, ${left} characters left in the last part`);
  },

  async send(event) {
    event.preventDefault();
    const to = document.getElementById("compose-to").value.trim();
    const text = document.getElementById("compose-text").value;
    const report = document.getElementById("compose-report").checked;
    try {
      const answer = await Api.post("/v1/messages", { to, text, report });
      const messages = Array.isArray(answer.messages) ? answer.messages : [answer];
      for (const m of messages) Compose.track(m.id, to);
      document.getElementById("compose-text").value = "";
      document.getElementById("compose-count").textContent = "";
      notify("Queued.");
    } catch (error) {
      reportError(error);
    }
  },

  track(id, to) {
    const item = h("li", { dataset: { id } }, h("span", {}, `#${id} to ${to}: `),
                   h("span", { className: "badge queued tracked-status" }, "queued"));
    document.getElementById("compose-sent").prepend(item);
    Compose.tracked.set(id, item);
    if (!Compose.poller) Compose.poller = setInterval(() => Compose.refresh().catch(reportError), 1000);
  },

  // Each tracked row's state, until it settles (delivered, or failed either way).
  async refresh() {
    for (const [id, item] of Compose.tracked) {
      const m = await Api.get("/v1/messages/" + id);
      const state = m.delivery === "delivered" || m.delivery === "failed" || m.delivery === "expired" ||
                            m.delivery === "pending" ? m.delivery : m.status;
      const badge = item.querySelector(".tracked-status");
      badge.textContent = state + (m.last_error ? " (" + m.last_error + ")" : "");
      badge.className = "badge tracked-status " + state;
      const settled = ["delivered", "failed", "expired"].includes(state) ||
                      (m.status === "sent" && !m.report) || m.status === "failed";
      if (settled) Compose.tracked.delete(id);
    }
    if (!Compose.tracked.size) {
      clearInterval(Compose.poller);
      Compose.poller = null;
    }
  },

  show() {},

  setup() {
    document.getElementById("compose-text").addEventListener("input", Compose.scheduleCount);
    document.getElementById("compose-form").addEventListener("submit", Compose.send);
  },
};

const Settings = {
  async show() {
    await Promise.all([Settings.showHooks(), Settings.showTokens()]);
  },

  async showHooks() {
    const list = await Api.get("/v1/webhooks");
    const rows = clear(document.getElementById("webhook-rows"));
    for (const w of list.webhooks) {
      rows.append(h("tr", { dataset: { id: w.id } },
                    h("td", {}, w.id), h("td", { className: "url" }, w.url), h("td", {}, w.events.join(", ")),
                    h("td", {}, w.pending), h("td", {}, w.failed), h("td", {}, when(w.last_delivery_at)),
                    h("td", { className: "actions" },
                      h("button", { type: "button", onclick: () => Settings.deliveries(w).catch(reportError) },
                        "Deliveries"),
                      h("button", { type: "button", className: "remove-hook",
                                    onclick: () => Settings.removeHook(w).catch(reportError) }, "Remove"))));
    }
    if (!list.webhooks.length) rows.append(h("tr", {}, h("td", { colSpan: 7 }, "No webhooks.")));
  },

  async deliveries(w) {
    const list = await Api.get(`/v1/webhooks/${w.id}/deliveries?limit=20`);
    document.getElementById("deliveries").hidden = false;
    document.getElementById("deliveries-title").textContent = `Last deliveries to ${w.url}`;
    const rows = clear(document.getElementById("delivery-rows"));
    for (const d of list.deliveries) {
      const answer = (d.last_status ?? "") + (d.last_response ? " " + d.last_response : "");
      rows.append(h("tr", {}, h("td", {}, d.id), h("td", {}, d.event),
                    h("td", {}, h("span", { className: "badge " + d.status }, d.status)), h("td", {}, d.attempts),
                    h("td", { className: "text" }, answer), h("td", { className: "error-text" }, d.last_error || ""),
                    h("td", {}, when(d.created_at)), h("td", {}, when(d.delivered_at))));
    }
    if (!list.deliveries.length) rows.append(h("tr", {}, h("td", { colSpan: 8 }, "Nothing delivered yet.")));
  },

  async removeHook(w) {
    if (!window.confirm(`Remove the webhook to ${w.url}?`)) return;
    await Api.remove("/v1/webhooks/" + w.id);
    notify(`Webhook ${w.id} removed.`);
    await Settings.showHooks();
  },

  async addHook(event) {
    event.preventDefault();
    const url = document.getElementById("webhook-url").value.trim();
    const events = EVENTS.filter((e) => document.getElementById("event-" + e).checked);
    const secret = document.getElementById("webhook-secret").value;
    try {
      const created = await Api.post("/v1/webhooks", secret ? { url, events, secret } : { url, events });
      const shown = document.getElementById("webhook-secret-shown");
      shown.textContent = `Webhook ${created.id} added. Its secret, shown this once: ${created.secret}`;
      shown.hidden = false;
      event.target.reset();
      await Settings.showHooks();
    } catch (error) {
      reportError(error);
    }
  },

  async showTokens() {
    const list = await Api.get("/v1/tokens");
    const rows = clear(document.getElementById("token-rows"));
    for (const t of list.tokens) {
      const actions = h("td", { className: "actions" });
      if (!t.revoked_at)
        actions.append(h("button", { type: "button", className: "revoke",
                                     onclick: () => Settings.revokeToken(t).catch(reportError) }, "Revoke"));
      rows.append(h("tr", { dataset: { id: t.id }, className: t.revoked_at ? "revoked" : "" },
                    h("td", {}, t.id), h("td", {}, t.name), h("td", {}, when(t.created_at)),
                    h("td", {}, when(t.last_used_at) || "never"), h("td", { className: "revoked-at" },
                                                                    when(t.revoked_at)), actions));
    }
  },

  async revokeToken(t) {
    if (!window.confirm(`Revoke the token ${t.name}? Programs using it will be refused.`)) return;
    await Api.remove("/v1/tokens/" + t.id);
    notify(`Token ${t.name} revoked.`);
    await Settings.showTokens();
  },

  async addToken(event) {
    event.preventDefault();
    const name = document.getElementById("token-name").value.trim();
    try {
      const created = await Api.post("/v1/tokens", { name });
      const shown = document.getElementById("token-shown");
      shown.textContent = `Token ${created.name} created. Copy it now, it is not shown again: ${created.token}`;
      shown.hidden = false;
      event.target.reset();
      await Settings.showTokens();
    } catch (error) {
      reportError(error);
    }
  },

  setup() {
    const box = document.getElementById("webhook-events");
    for (const e of EVENTS) {
      box.append(h("div", { className: "checkbox" },
                    h("input", { type: "checkbox", id: "event-" + e, value: e, checked: e === "message.received" }),
                    h("label", { htmlFor: "event-" + e }, e)));
    }
    document.getElementById("webhook-form").addEventListener("submit", Settings.addHook);
    document.getElementById("token-form").addEventListener("submit", Settings.addToken);
  },
};

// The overview's chart: messages sent and received per hour, as SVG bars drawn here
// from /v1/stats/hourly (no charting library, nothing from elsewhere).
"use strict";

const Chart = {
  ns: "http://www.w3.org/2000/svg",

  node(tag, attributes, text) {
    const node = document.createElementNS(Chart.ns, tag);
    for (const [key, value] of Object.entries(attributes || {})) node.setAttribute(key, value);
    if (text !== undefined) node.textContent = text;
    return node;
  },

  // A grid line and its label at each of a few round values up to `top`.
  ticks(top) {
    if (top <= 5) return Array.from({ length: top + 1 }, (_, i) => i);
    const step = Math.pow(10, Math.floor(Math.log10(top / 4)));
    const nice = [1, 2, 5, 10].map((m) => m * step).find((s) => top / s <= 5);
    const ticks = [];
    for (let v = 0; v <= top; v += nice) ticks.push(v);
    return ticks;
  },

  draw(container, hours) {
    const width = 720, height = 240, left = 36, bottom = 28, top = 12;
    const plotWidth = width - left - 8, plotHeight = height - bottom - top;
    const highest = Math.max(1, ...hours.map((h) => Math.max(h.sent, h.received)));
    const ticks = Chart.ticks(highest);
    const scaleTop = Math.max(highest, ticks[ticks.length - 1]);
    const y = (v) => top + plotHeight - (v / scaleTop) * plotHeight;
    const svg = Chart.node("svg", { viewBox: `0 0 ${width} ${height}`, class: "chart-svg", focusable: "false" });
    for (const v of ticks) {
      svg.append(Chart.node("line", { x1: left, x2: width - 8, y1: y(v), y2: y(v), class: "grid" }));
      svg.append(Chart.node("text", { x: left - 4, y: y(v) + 4, class: "axis end" }, String(v)));
    }
    const slot = plotWidth / Math.max(1, hours.length);
    const bar = Math.max(1, slot / 2 - 1);
    hours.forEach((h, i) => {
      const x = left + i * slot;
      const label = `${new Date(h.hour).toLocaleString()}: ${h.sent} sent, ${h.received} received`;
      const group = Chart.node("g", {});
      group.append(Chart.node("title", {}, label));
      group.append(Chart.node("rect", { x, y: y(h.sent), width: bar, height: y(0) - y(h.sent), class: "sent" }));
      group.append(Chart.node("rect", {
        x: x + bar, y: y(h.received), width: bar, height: y(0) - y(h.received), class: "received",
      }));
      svg.append(group);
      const date = new Date(h.hour);
      if (date.getHours() % 6 === 0) {
        const text = date.getHours() === 0 ? date.toLocaleDateString(undefined, { month: "short", day: "numeric" })
                                           : String(date.getHours()).padStart(2, "0") + ":00";
        svg.append(Chart.node("text", { x: x + bar, y: height - 10, class: "axis middle" }, text));
      }
    });
    const legend = h("p", { className: "legend" },
                     h("span", { className: "key sent" }), "sent ",
                     h("span", { className: "key received" }), "received",
                     ` (${hours.reduce((n, x) => n + x.sent, 0)} sent, ` +
                         `${hours.reduce((n, x) => n + x.received, 0)} received)`);
    clear(container).append(svg, legend);
  },
};

#include "outputs/interactive.h"

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "outputs/csv.h"
#include "outputs/html.h"

namespace kesvar_cli {

namespace {

// Makes the report again through kesvar_report_json at the prices of the form, with the
// stress options the report was made with, and puts its header and sections in place of the
// ones shown, around the form: figures, positions, charts, crossings and the ranking are the
// library's at those prices. A hash such as #GAZP=180&shift=-10 sets the form as the page opens.
const char* const kScript = R"JS(
const data = JSON.parse(document.getElementById('kesvar-data').textContent);
const kesvar = await createKesvar();
const reportJson = kesvar.cwrap('kesvar_report_json', 'string', ['string', 'string']);
const form = document.getElementById('prices');
const status = document.getElementById('prices-status');
const shift = document.getElementById('shift');
const securities = [...form.querySelectorAll('tr[data-security]')].map((tr) => ({
  code: tr.dataset.security,
  base: Number(tr.dataset.price),
  price: tr.querySelector('input[type=number]'),
  slider: tr.querySelector('input[type=range]'),
  moved: false,
}));
const ordering = {
  client: document.getElementById('order-client'),
  side: document.getElementById('order-side'),
  security: document.getElementById('order-security'),
  quantity: document.getElementById('order-quantity'),
  price: document.getElementById('order-price'),
  pending: document.getElementById('order-pending'),
  list: document.getElementById('orders'),
};
const orders = []; // as --order takes them, after the report's own

function recompute() {
  const prices = [...data.prices];
  for (const s of securities) if (s.moved) prices.push(`${s.code}=${String(Number(s.price.value))}`);
  const shifts = [...data.shifts];
  if (Number(shift.value) !== 0) shifts.push(`${Number(shift.value)}%`);
  const pending = ordering.pending.checked;
  const t0 = performance.now();
  const answer = JSON.parse(reportJson(data.scenario, JSON.stringify({
    name: data.name, files: data.files, prices, shifts, orders: [...data.orders, ...orders],
    pending, stress: data.stress })));
  if (answer.error) {
    status.textContent = `Not recomputed: ${answer.error.path}: ${answer.error.message}`;
    return;
  }
  const page = new DOMParser().parseFromString(answer.html, 'text/html');
  document.querySelector('header').replaceWith(page.querySelector('header'));
  // The form stays where it is: a slider being dragged must not leave the page.
  const main = document.querySelector('main');
  const fresh = [...page.querySelector('main').children];
  const before = [...main.children].indexOf(form);
  for (const old of [...main.children]) if (old !== form) old.remove();
  form.before(...fresh.slice(0, before));
  form.after(...fresh.slice(before));
  const ms = (performance.now() - t0).toFixed(1);
  const what = [...shifts.slice(data.shifts.length).map((s) => `--shift ${s}`),
                ...prices.slice(data.prices.length).map((p) => `--price ${p}`),
                ...orders.map((o) => `--order ${o}`)];
  if (pending !== data.pending) what.push(pending ? '--pending' : 'the orders filled');
  status.textContent = (what.length ? `At the report's prices and ${what.join(' ')}` :
                        'At the report\'s prices') +
    `: every figure, position, chart and the ranking recomputed in ${ms} ms.`;
}

// A typed price: the slider shows where it lies from the report's.
function follow(s) {
  const v = Number(s.price.value);
  s.moved = v !== s.base;
  s.slider.value = String(Math.round((v / s.base - 1) * 100));
}

for (const s of securities) {
  s.slider.addEventListener('input', () => {
    s.price.value = String(s.base * (1 + Number(s.slider.value) / 100));
    s.moved = Number(s.slider.value) !== 0;
    recompute();
  });
  s.price.addEventListener('change', () => {
    follow(s);
    recompute();
  });
}
shift.addEventListener('change', recompute);

function listOrders() {
  ordering.list.replaceChildren(...orders.map((text, i) => {
    const item = document.createElement('li');
    const remove = document.createElement('button');
    remove.type = 'button';
    remove.textContent = 'Remove';
    remove.addEventListener('click', () => {
      orders.splice(i, 1);
      listOrders();
      recompute();
    });
    item.append(`--order ${text} `, remove);
    return item;
  }));
}
document.getElementById('order-add').addEventListener('click', () => {
  const at = ordering.price.value === '' ? '' : `@${String(Number(ordering.price.value))}`;
  orders.push(`${ordering.client.value}:${ordering.side.value}:${ordering.security.value}:` +
              `${ordering.quantity.value}${at}`);
  listOrders();
  recompute();
});
ordering.pending.addEventListener('change', recompute);
document.getElementById('reset').addEventListener('click', () => {
  for (const s of securities) {
    s.price.value = String(s.base);
    s.slider.value = '0';
    s.moved = false;
  }
  shift.value = '0';
  orders.length = 0;
  listOrders();
  ordering.pending.checked = data.pending;
  recompute();
});
for (const [key, value] of new URLSearchParams(location.hash.slice(1))) {
  if (key === 'shift') shift.value = value;
  const s = securities.find((x) => x.code === key);
  if (s) {
    s.price.value = value;
    follow(s);
  }
}
form.hidden = false;
recompute();
)JS";

// JSON inside a script element: "</" would end the element early.
std::string ScriptSafe(std::string text) {
    for (size_t at = 0; (at = text.find("</", at)) != std::string::npos; at += 3)
        text.replace(at, 2, "<\\/");
    return text;
}

// The pre-trade check: orders added to the report's basket, as --order takes them; the header
// gives each one's verdict.
void WriteOrderForm(std::ostream& o, const StressResult& r, const std::set<std::string>& codes) {
    o << "<h3>Orders</h3>\n<p class=\"note\">An order added here joins the report's basket, as "
         "<code>--order FIRM/CLIENT:SIDE:CODE:QTY[@PRICE]</code>: recorded in the client's limit "
         "records, filled (or working, with <code>--pending</code>) and judged with the earlier "
         "ones working; the header says whether each fits. Without a price it goes at the offer "
         "to buy and the bid to sell.</p>\n<p><label>Client <select id=\"order-client\">";
    std::set<std::string> clients;
    for (const RowResult& row : r.base.rows) {
        std::string key = row.request.firm + "/" + row.request.client;
        if (clients.insert(key).second)
            o << "<option value=\"" << Escape(key) << "\">" << Escape(row.request.client)
              << " (firm " << Escape(row.request.firm) << ")</option>";
    }
    o << "</select></label> <select id=\"order-side\" aria-label=\"Side\"><option>buy</option>"
         "<option>sell</option><option>short</option></select> <label>Security <select "
         "id=\"order-security\">";
    for (const std::string& code : codes)
        o << "<option>" << Escape(code) << "</option>";
    o << "</select></label> <label>Quantity <input id=\"order-quantity\" type=\"number\" "
         "min=\"1\" step=\"1\" value=\"1\"></label> <label>at <input id=\"order-price\" "
         "type=\"number\" min=\"0\" step=\"any\" placeholder=\"the market\"></label> <button "
         "type=\"button\" id=\"order-add\">Add the order</button> <label><input "
         "type=\"checkbox\" id=\"order-pending\""
      << (r.whatIf.pending ? " checked" : "")
      << "> pending, not filled</label></p>\n<ol id=\"orders\"></ol>\n";
}

} // namespace

void WritePriceForm(std::ostream& o, const StressResult& r) {
    o << "<section id=\"prices\" hidden><h2>Prices</h2>\n<p class=\"lead\" id=\"prices-status\">"
         "</p>\n<p class=\"note\">A price set here is the offer, bid, previous and last price "
         "alike, as <code>run --price CODE=P</code>; the shift moves every price first, as "
         "<code>--shift</code>.</p>\n<table><thead><tr><th scope=\"col\">Security</th>"
         "<th scope=\"col\">Price</th><th scope=\"col\">-50% to +50%</th></tr></thead><tbody>";
    std::set<std::string> listed;
    for (const Class& c : r.classes)
        for (const Security& s : c.securities) {
            if (!listed.insert(s.code).second) continue; // a price override names the code
            std::string price = Exact(s.market.last);
            const std::string code = Escape(s.code);
            o << "<tr data-security=\"" << code << "\" data-price=\"" << price
              << "\"><th scope=\"row\">" << code << "</th><td><input type=\"number\" "
              << "step=\"any\" min=\"0\" value=\"" << price << "\" aria-label=\"" << code
              << " price\"></td><td><input type=\"range\" min=\"-50\" max=\"50\" step=\"1\" "
              << "value=\"0\" aria-label=\"" << code << " move, %\"></td></tr>";
        }
    o << "</tbody></table>\n<p><label>All prices <input id=\"shift\" type=\"number\" step=\"any\" "
         "value=\"0\"> %</label> <button type=\"button\" id=\"reset\">Reset</button></p>\n";
    WriteOrderForm(o, r, listed);
    o << "</section>\n";
}

bool Inlinable(const std::string& module) {
    std::string lower = module;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    return lower.find("</script") == std::string::npos;
}

void WritePriceScript(std::ostream& o, const StressResult& r, const WhatIf& whatIf,
                      const std::string& scenarioName, const std::string& module) {
    nlohmann::json data;
    data["name"] = scenarioName;
    data["scenario"] = r.scenarioText;
    data["files"] = nlohmann::json::object();
    for (const Firm& f : r.firms) // by the name a settingsFile gives; an inline text is unused
        data["files"][f.source] = f.settings;
    data["prices"] = whatIf.prices;
    data["shifts"] = whatIf.shifts;
    data["orders"] = whatIf.orders;
    data["pending"] = whatIf.pending;
    const StressArgs& a = r.args; // kesvar_report_json reads these back
    data["stress"] = {{"security", a.security},
                      {"from", a.from},
                      {"to", a.to},
                      {"steps", a.steps},
                      {"level", a.level},
                      {"clients", a.clients},
                      {"top", a.top},
                      {"all", a.all},
                      {"actv", a.actv},
                      {"allClients", a.allClients}};
    o << "<script type=\"application/json\" id=\"kesvar-data\">"
      << ScriptSafe(data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
      << "</script>\n<script type=\"module\">\n"
      << module << "\n"
      << kScript << "</script>\n";
}

} // namespace kesvar_cli

#include "pages.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

#include "html.h"

namespace {

const char g_stylesheet[] =
    R"(body { margin: 0; font: 15px/1.45 system-ui, sans-serif; color: #1d2330; background: #f5f6f8; }
header { display: flex; align-items: center; gap: 24px; padding: 10px 24px; background: #1d2b45; color: #fff; }
header strong { font-size: 17px; }
header nav { display: flex; gap: 16px; flex: 1; }
header a { color: #dfe7f5; text-decoration: none; }
header a:hover { text-decoration: underline; }
header form { display: flex; align-items: center; gap: 10px; margin: 0; }
main { max-width: 1100px; margin: 0 auto; padding: 16px 24px 40px; }
h1 { font-size: 22px; margin: 8px 0 16px; }
h2 { font-size: 17px; margin: 0 0 8px; }
section { background: #fff; border: 1px solid #dde1e8; border-radius: 6px; padding: 14px 18px; margin-bottom: 16px; overflow-x: auto; }
.grid { display: grid; grid-template-columns: repeat(auto-fit, minmax(320px, 1fr)); gap: 16px; margin-bottom: 16px; }
.grid section { margin-bottom: 0; }
.figures { display: flex; gap: 32px; }
.figures div { font-size: 13px; color: #5b6475; }
.figures b { display: block; font-size: 24px; color: #1d2330; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: 5px 8px; border-bottom: 1px solid #eceef2; vertical-align: top; }
th { font-size: 13px; color: #5b6475; font-weight: 600; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
td.v { white-space: pre-wrap; overflow-wrap: anywhere; }
#record th { width: 160px; }
#fields td:first-child { width: 48px; }
#fields td:nth-child(2) { width: 280px; }
.none { color: #8a93a3; font-style: italic; }
svg.chart { display: block; width: 100%; max-width: 980px; height: auto; }
svg.chart rect.bar { fill: #3b6fd4; }
svg.chart rect.bar:hover { fill: #1d4fb0; }
svg.chart line { stroke: #c4cad4; }
svg.chart text { fill: #5b6475; font-size: 11px; }
form.search { display: flex; gap: 8px; margin-bottom: 12px; }
input { font: inherit; padding: 5px 8px; border: 1px solid #c4cad4; border-radius: 4px; }
form.search input { flex: 1; }
button { font: inherit; padding: 5px 14px; border: 1px solid #2d5bb9; border-radius: 4px; background: #3b6fd4; color: #fff; cursor: pointer; }
header button { background: transparent; border-color: #8ea3c9; }
.paging { display: flex; gap: 16px; margin-top: 10px; }
.signin { max-width: 340px; margin: 80px auto; }
.signin label { display: block; margin: 10px 0 4px; }
.signin input { width: 100%; box-sizing: border-box; }
.signin button { margin-top: 16px; width: 100%; }
.message { padding: 8px 12px; border-radius: 4px; background: #fdecec; color: #8c1d1d; margin-bottom: 8px; }
)";

struct PagesTag {
    int tag;
    const char* meaning;
};

// The names of the maker's guide ("The registration record").
const PagesTag g_tags[] = {
    {0, "the program's version and build kind"},
    {1, "how registration was started"},
    {2, "REGISTER's product text"},
    {100, "TEXT"},
    {101, "company"},
    {102, "product"},
    {103, "product version"},
    {200, "first name"},
    {201, "last name"},
    {202, "street"},
    {203, "city"},
    {204, "state"},
    {205, "country"},
    {206, "zip code"},
    {207, "e-mail"},
    {208, "phone"},
    {209, "how the user heard of the product"},
    {300, "the machine's IPv4 address"},
    {301, "the machine's network name"},
    {302, "the processor's identifier"},
    {303, "the processor's MHz"},
    {304, "the processor's MMX identifier"},
    {305, "the processor's vendor"},
    {306, "the screen's size"},
    {307, "the screen's colour depth"},
    {308, "the registered owner"},
    {309, "the registered organisation"},
    {310, "the Windows version"},
    {311, "physical memory in kilobytes"},
    {312, "page file in kilobytes"},
    {400, "the answer to \"receive updates\""},
    {401, "LISTSERVER's number"},
    {402, "LISTSERVER's name"},
    {403, "LISTSERVER's text"},
};

std::string pages_head(const std::string& title) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>" +
           html_text(title) +
           " - makerd</title><link rel=\"stylesheet\" href=\"/console/console.css\"></head>\n";
}

std::string pages_frame(const PagesFrame& frame, const std::string& title,
                        const std::string& body) {
    return pages_head(title) +
           "<body><header><strong>makerd</strong><nav><a href=\"/console/\">Overview</a>"
           "<a href=\"/console/registrations\">Registrations</a>"
           "<a href=\"/console/export.csv\">Export CSV</a>"
           "<a href=\"/console/export.json\">Export JSON</a></nav>"
           "<form method=\"post\" action=\"/console/signout\"><input type=\"hidden\" "
           "name=\"csrf\" value=\"" +
           html_text(frame.csrf) + "\"><span>" + html_text(frame.account) +
           "</span><button type=\"submit\">Sign out</button></form></header>\n<main><h1>" +
           html_text(title) + "</h1>\n" + body + "</main></body></html>\n";
}

// A value, or a grey "(none)" for an empty one.
std::string pages_value(const std::string& value) {
    return value.empty() ? "<span class=\"none\">(none)</span>" : html_text(value);
}

std::string pages_day(time_t seconds) {
    tm calendar;
    gmtime_r(&seconds, &calendar);
    char text[16];
    strftime(text, sizeof text, "%Y-%m-%d", &calendar);
    return text;
}

// The PAGES_DAYS days that end with `today`, oldest first.
std::vector<std::string> pages_days(const std::string& today) {
    tm calendar = {};
    sscanf(today.c_str(), "%d-%d-%d", &calendar.tm_year, &calendar.tm_mon, &calendar.tm_mday);
    calendar.tm_year -= 1900;
    calendar.tm_mon -= 1;
    time_t last = timegm(&calendar);
    std::vector<std::string> days;
    for (int back = PAGES_DAYS - 1; back >= 0; --back) {
        days.push_back(pages_day(last - static_cast<time_t>(back) * 86400));
    }
    return days;
}

// A bar a day; each bar's title tells its day and count.
std::string pages_chart(const std::string& label, const std::vector<std::string>& days,
                        const std::map<std::string, long long>& counts) {
    const int left = 44, slot = 10, height = 140, top = 10;
    long long highest = 1;
    for (const std::string& day : days) {
        auto found = counts.find(day);
        highest = std::max(highest, found == counts.end() ? 0 : found->second);
    }
    int width = left + slot * static_cast<int>(days.size()) + 10;
    std::string svg = "<svg class=\"chart\" role=\"img\" aria-label=\"" + html_text(label) +
                      "\" viewBox=\"0 0 " + std::to_string(width) + " " +
                      std::to_string(top + height + 24) + "\">";
    int base = top + height;
    svg += "<line x1=\"" + std::to_string(left) + "\" y1=\"" + std::to_string(base) + "\" x2=\"" +
           std::to_string(width - 10) + "\" y2=\"" + std::to_string(base) + "\"/>";
    svg += "<text x=\"" + std::to_string(left - 6) + "\" y=\"" + std::to_string(top + 8) +
           "\" text-anchor=\"end\">" + std::to_string(highest) + "</text><text x=\"" +
           std::to_string(left - 6) + "\" y=\"" + std::to_string(base) +
           "\" text-anchor=\"end\">0</text>";
    for (size_t i = 0; i < days.size(); ++i) {
        auto found = counts.find(days[i]);
        long long count = found == counts.end() ? 0 : found->second;
        int bar = static_cast<int>(count * height / highest);
        int x = left + slot * static_cast<int>(i) + 1;
        svg += "<rect class=\"bar\" x=\"" + std::to_string(x) + "\" y=\"" +
               std::to_string(base - bar) + "\" width=\"" + std::to_string(slot - 2) +
               "\" height=\"" + std::to_string(bar) + "\"><title>" + html_text(days[i]) + ": " +
               std::to_string(count) + "</title></rect>";
        if (i % 30 == 0 || i + 1 == days.size()) {
            svg += "<text x=\"" + std::to_string(x + slot / 2) + "\" y=\"" +
                   std::to_string(base + 16) + "\" text-anchor=\"middle\">" +
                   html_text(days[i].substr(5)) + "</text>";
        }
    }
    return svg + "</svg>";
}

// A table of texts and counts, the largest count first.
std::string pages_totals(const std::string& id, const std::string& title,
                         const std::vector<std::string>& headings,
                         std::vector<std::pair<std::vector<std::string>, long long>> rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string html = "<section><h2>" + html_text(title) + "</h2><table id=\"" + id + "\"><tr>";
    for (const std::string& heading : headings) {
        html += "<th>" + html_text(heading) + "</th>";
    }
    html += "<th class=\"n\">Count</th></tr>";
    for (const auto& [texts, count] : rows) {
        html += "<tr>";
        for (const std::string& text : texts) {
            html += "<td class=\"v\">" + pages_value(text) + "</td>";
        }
        html += "<td class=\"n\">" + std::to_string(count) + "</td></tr>";
    }
    return html + "</table></section>";
}

std::string pages_link(long long id) {
    return "<a href=\"/console/registrations/" + std::to_string(id) + "\">" + std::to_string(id) +
           "</a>";
}

} // namespace

const char* pages_stylesheet() {
    return g_stylesheet;
}

std::string pages_signin(const std::string& csrf, const std::string& message) {
    return pages_head("Sign in") + "<body><main><section class=\"signin\"><h1>makerd console</h1>" +
           (message.empty() ? "" : "<p class=\"message\">" + html_text(message) + "</p>") +
           "<form method=\"post\" action=\"/console/signin\"><input type=\"hidden\" "
           "name=\"csrf\" value=\"" +
           html_text(csrf) +
           "\"><label for=\"user\">Name</label><input id=\"user\" name=\"user\" "
           "autocomplete=\"username\" required autofocus><label for=\"password\">Password</label>"
           "<input id=\"password\" name=\"password\" type=\"password\" "
           "autocomplete=\"current-password\" required><button type=\"submit\">Sign in</button>"
           "</form></section></main></body></html>\n";
}

std::string pages_overview(const PagesFrame& frame, const Tallies& tallies,
                           const std::vector<Release>& releases, const std::string& today) {
    std::vector<std::string> days = pages_days(today);
    std::map<std::string, std::map<std::string, long long>> by_day; // kind, day
    std::map<std::string, std::vector<std::pair<std::vector<std::string>, long long>>> totals;
    std::map<std::string, long long> downloads, sums;
    for (const auto& [key, count] : tallies) {
        sums[key.kind] += count;
        if (key.kind == "registered" || key.kind == "update") {
            by_day[key.kind][key.day] += count;
        } else if (key.kind == "download") {
            downloads[key.a] += count;
        } else if (key.kind == "product") {
            totals[key.kind].push_back({{key.a, key.b, key.c}, count});
        } else {
            totals[key.kind].push_back({{key.a}, count});
        }
    }
    long long recent = 0, checks = 0;
    for (const std::string& day : days) {
        recent += by_day["registered"][day];
        checks += by_day["update"][day];
    }
    std::string body = "<section class=\"figures\"><div><b id=\"total\">" +
                       std::to_string(sums["registered"]) + "</b>registrations</div><div><b>" +
                       std::to_string(recent) + "</b>in the last 90 days</div><div><b>" +
                       std::to_string(checks) +
                       "</b>update checks in the last 90 days</div><div><b>" +
                       std::to_string(sums["download"]) + "</b>downloads</div></section>";
    body += "<section><h2>Registrations per day, the last 90 days (UTC)</h2>" +
            pages_chart("Registrations per day", days, by_day["registered"]) + "</section>";
    body +=
        "<div class=\"grid\">" +
        pages_totals("products", "Per product and version", {"Company", "Product", "Version"},
                     totals["product"]) +
        pages_totals("windows", "Per Windows version", {"Windows"}, totals["windows"]) +
        pages_totals("processors", "Per processor", {"Processor"}, totals["processor"]) +
        pages_totals("mailing", "Mailing list (receive updates)", {"Answer"}, totals["mailing"]) +
        "</div>";
    body += "<section><h2>Releases</h2><table id=\"releases\"><tr><th>Company</th>"
            "<th>Product</th><th>Version</th><th>Stored as</th><th>Published</th>"
            "<th class=\"n\">Downloads</th></tr>";
    for (auto release = releases.rbegin(); release != releases.rend(); ++release) {
        body += "<tr><td>" + html_text(release->company) + "</td><td>" +
                html_text(release->product) + "</td><td>" + html_text(release->version) +
                "</td><td>" + html_text(release->stored_name) + "</td><td>" +
                html_text(release->published) + "</td><td class=\"n\">" +
                std::to_string(downloads[release->stored_name]) + "</td></tr>";
    }
    body += "</table></section><section><h2>Update checks per day, the last 90 days (UTC)</h2>" +
            pages_chart("Update checks per day", days, by_day["update"]) + "</section>";
    return pages_frame(frame, "Overview", body);
}

std::string pages_registrations(const PagesFrame& frame, const std::string& search, long long page,
                                const std::vector<Registration>& rows, bool more) {
    std::string body = "<form class=\"search\" method=\"get\" action=\"/console/registrations\">"
                       "<input name=\"q\" type=\"search\" placeholder=\"Any field\" value=\"" +
                       html_text(search) +
                       "\" aria-label=\"Search\"><button type=\"submit\">Search</button></form>"
                       "<section><table id=\"registrations\"><tr><th class=\"n\">ID</th>"
                       "<th>Received (UTC)</th><th>Name</th><th>E-mail</th><th>Product</th>"
                       "<th>Windows</th></tr>";
    for (const Registration& row : rows) {
        body += "<tr><td class=\"n\">" + pages_link(row.id) + "</td><td>" +
                html_text(row.received) + "</td><td class=\"v\">" +
                html_text(storage_field(row, 200) + " " + storage_field(row, 201)) +
                "</td><td class=\"v\">" + html_text(storage_field(row, 207)) +
                "</td><td class=\"v\">" +
                html_text(storage_field(row, 101) + " " + storage_field(row, 102) + " " +
                          storage_field(row, 103)) +
                "</td><td class=\"v\">" + html_text(storage_field(row, 310)) + "</td></tr>";
    }
    if (rows.empty()) {
        body += "<tr><td colspan=\"6\" class=\"none\">No registration found.</td></tr>";
    }
    std::string query = search.empty() ? "" : "q=" + html_url_query(search) + "&amp;";
    body += "</table><div class=\"paging\">";
    if (page > 1) {
        body += "<a rel=\"prev\" href=\"/console/registrations?" + query +
                "page=" + std::to_string(page - 1) + "\">Newer</a>";
    }
    body += "<span>Page " + std::to_string(page) + "</span>";
    if (more) {
        body += "<a rel=\"next\" href=\"/console/registrations?" + query +
                "page=" + std::to_string(page + 1) + "\">Older</a>";
    }
    return pages_frame(frame, "Registrations", body + "</div></section>");
}

std::string pages_registration(const PagesFrame& frame, const Registration& registration) {
    std::string body = "<section><table id=\"record\"><tr><th>Received (UTC)</th><td>" +
                       html_text(registration.received) + "</td></tr><tr><th>From</th><td>" +
                       html_text(registration.peer) +
                       "</td></tr><tr><th>Sender's version</th><td>" +
                       html_text(registration.version) +
                       "</td></tr></table></section><section><table id=\"fields\"><tr>"
                       "<th>Tag</th><th>Field</th><th>Value</th></tr>";
    for (const auto& [tag, value] : registration.fields) {
        char number[16];
        snprintf(number, sizeof number, "%03d", tag);
        body += "<tr><td>" + std::string(number) + "</td><td>" + html_text(pages_tag_meaning(tag)) +
                "</td><td class=\"v\">" + pages_value(value) + "</td></tr>";
    }
    return pages_frame(frame, "Registration " + std::to_string(registration.id),
                       body + "</table></section>");
}

std::string pages_message(const PagesFrame& frame, const std::string& title,
                          const std::string& message) {
    return pages_frame(frame, title,
                       "<section><p class=\"message\">" + html_text(message) + "</p></section>");
}

std::string pages_tag_meaning(int tag) {
    for (const PagesTag& known : g_tags) {
        if (known.tag == tag) {
            return known.meaning;
        }
    }
    return "an unknown field";
}

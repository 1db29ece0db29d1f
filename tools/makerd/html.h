// What a console page shows of a stored value goes through here, at the point
// of output. Stored values are bytes as the program sent them, read as
// ISO 8859-1 (as the export's JSON reads them) and written as UTF-8.
#pragma once

#include <string>

// `bytes` as HTML text, also inside a quoted attribute value: & < > " ' as
// references, a control character as its visible symbol (U+2400 on), a byte
// 0x80 to 0x9F as U+FFFD; line feeds and tabs stay.
std::string html_text(const std::string& bytes);

// `bytes` percent-encoded for a URL's query, all but letters, digits and - . _ ~.
std::string html_url_query(const std::string& bytes);

// What a browser sent (UTF-8) as the stored values spell it: ISO 8859-1 when
// every character has a byte there, else unchanged.
std::string html_from_utf8(const std::string& text);

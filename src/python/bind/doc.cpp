#include "python/bind/doc.hpp"

namespace vorn::py {

std::string indented(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        out += c;
        if (c == '\n') out += "    ";
    }
    return out;
}

namespace doc_detail {

void append_line(std::string& out, const Line& l) {
    out += l.name;
    out += " : ";
    out += l.type;
    out += "\n    ";
    out += indented(l.gloss);
    out += '\n';
}

void append_item(std::string& out, const Line& l) {
    out += "* `";
    out += l.name;
    out += "` - ";
    out += l.gloss;
    out += '\n';
}

void append_section(std::string& body, const Section& s) {
    // A section starts after a blank line, whatever the text before it ends with.
    std::size_t trailing = 0;
    while (trailing < body.size() && trailing < 2 && body[body.size() - 1 - trailing] == '\n') ++trailing;
    body.append(2 - trailing, '\n');
    body += s.header;
    body += s.content;
}

}  // namespace doc_detail

Section returns(const char* type, std::string_view gloss) {
    Section s{"Returns\n-------\n", type};
    s.content += "\n    ";
    s.content += indented(gloss);
    s.content += '\n';
    return s;
}

Section returns(const char* line) { return {"Returns\n-------\n", line}; }

Section returns_item(const char* text) { return {"# Returns\n", text}; }

Section raises(std::string_view text) {
    Section s{"Raises\n------\nValueError\n    ", indented(text)};
    s.content += '\n';
    return s;
}

Section examples(const char* text) { return {"Examples\n--------\n", text}; }
Section example(const char* text) { return {"Example\n-------\n", text}; }

std::string docstring(const char* name, const std::string& rendered_params, const Doc& d) {
    std::string out;
    if (d.signature) {
        out = d.signature;
    } else {
        out = name;
        out += '(';
        out += rendered_params;
        out += ')';
    }
    out += "\n--\n\n";
    out += d.body;
    return out;
}

}  // namespace vorn::py

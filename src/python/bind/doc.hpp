#pragma once
// Docstrings. An entry's text signature is rendered from its parameter declarations; the
// body is free text followed by the common sections, each built from per-parameter lines:
//
//   doc("Calculate Average True Range (ATR)\n\nWilder's smoothing of the true range.",
//       params(kHighLowClose, Line{"period", "int", "Smoothing period (None selects 14)"}),
//       returns("list[float]", "ATR values, NaN before index `period`"),
//       raises("If an input is empty\nor if the period is 0"))
//
// Every section starts after a blank line; a gloss's further lines are indented like its first.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vorn::py {

// One documented parameter: "name : type\n    gloss\n" (or "* `name` - gloss\n" under
// arguments()).
struct Line {
    const char* name;
    const char* type;
    const char* gloss;
};
// A run of lines that several entries share (the high/low/close series, say).
using Lines = std::span<const Line>;

// How a rendered text signature shows parameters that have defaults.
enum class Shown : unsigned char {
    defaults,  // "period=14" wherever a default is declared, "name=None" for an omissible without one
    names,     // required parameters as bare names, whatever None selects for them
};

struct Doc {
    std::string body;                 // the text after the signature's "--\n\n"
    const char* signature = nullptr;  // a fixed text signature in place of the rendered one
    Shown shown = Shown::defaults;

    // One more section after those already given.
    Doc plus(const struct Section& s) &&;
    // Required parameters show no default in the text signature.
    Doc names_only() && {
        shown = Shown::names;
        return std::move(*this);
    }
    // The fixed text signature ("py_x(a, b=1)") where it is not the declared one.
    Doc fixed_signature(const char* text) && {
        signature = text;
        return std::move(*this);
    }
};

// A section: its header line and underline, then its content.
struct Section {
    const char* header;
    std::string content;
};

namespace doc_detail {
void append_line(std::string& out, const Line& l);
void append_item(std::string& out, const Line& l);
inline void append_lines(std::string& out, const Line& l, bool items) {
    items ? append_item(out, l) : append_line(out, l);
}
inline void append_lines(std::string& out, Lines ls, bool items) {
    for (const Line& l : ls) append_lines(out, l, items);
}
template <std::size_t N>
void append_lines(std::string& out, const Line (&ls)[N], bool items) {
    append_lines(out, Lines(ls), items);
}
void append_section(std::string& body, const Section& s);
}  // namespace doc_detail

// Text with each line after the first indented by four spaces (a gloss's continuation).
std::string indented(std::string_view text);

// "Parameters\n----------\n" and one numpy-style line per parameter.
template <class... L>
Section params(const L&... lines) {
    Section s{"Parameters\n----------\n", {}};
    (doc_detail::append_lines(s.content, lines, false), ...);
    return s;
}
// "# Arguments\n" and one "* `name` - gloss" item per parameter (the model layer's style).
template <class... L>
Section arguments(const L&... lines) {
    Section s{"# Arguments\n", {}};
    (doc_detail::append_lines(s.content, lines, true), ...);
    return s;
}
// "Returns\n-------\ntype\n    gloss\n".
Section returns(const char* type, std::string_view gloss);
// "Returns\n-------\n" and one line as it stands ("list of float - SAR values"), ending the docstring.
Section returns(const char* line);
// "# Returns\n" and the text as it stands.
Section returns_item(const char* text);
// "Raises\n------\nValueError\n    text\n".
Section raises(std::string_view text);
// "Examples\n--------\n" / "Example\n-------\n" and the session as it stands.
Section examples(const char* text);
Section example(const char* text);

inline Doc Doc::plus(const Section& s) && {
    doc_detail::append_section(body, s);
    return std::move(*this);
}

// The body: free text, then each section after a blank line.
template <class... S>
Doc doc(std::string_view text, const S&... sections) {
    Doc d;
    d.body = text;
    (doc_detail::append_section(d.body, sections), ...);
    return d;
}

// The docstring: the text signature (name and rendered parameter list, or the fixed one),
// "\n--\n\n", then the body.
std::string docstring(const char* name, const std::string& rendered_params, const Doc& d);

}  // namespace vorn::py

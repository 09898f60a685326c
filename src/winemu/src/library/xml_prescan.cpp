// xml_prescan.cpp: one linear pass over a definition's markup, counting what the parser would
// spend quadratic time on, before the parser sees it.
#include "library/xml_prescan.hpp"

#include "library/task_limits.hpp"

namespace winemu {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Scanner {
public:
    explicit Scanner(std::string_view xml) : xml_(xml) {}

    std::optional<MarkupExcess> run() {
        while (at_ < xml_.size()) {
            if (xml_[at_] != '<') {
                advance();
                continue;
            }
            if (starts("<!--")) {
                skip_past("-->");
            } else if (starts("<![CDATA[")) {
                skip_past("]]>");
            } else if (starts("<?")) {
                skip_past("?>");
            } else if (starts("<!")) {
                return std::nullopt;  // a document type declaration: refused at once by the parser
            } else if (starts("</")) {
                skip_past(">");
            } else if (auto excess = start_tag()) {
                return excess;
            }
        }
        return std::nullopt;
    }

private:
    bool starts(std::string_view prefix) const { return xml_.substr(at_, prefix.size()) == prefix; }

    void advance() {
        if (xml_[at_] == '\n') {
            ++line_;
            line_start_ = at_ + 1;
        }
        ++at_;
    }

    void skip_past(std::string_view end) {
        while (at_ < xml_.size() && !starts(end)) advance();
        for (std::size_t i = 0; i < end.size() && at_ < xml_.size(); ++i) advance();
    }

    std::optional<MarkupExcess> start_tag() {
        const long line = line_;
        const long column = static_cast<long>(at_ - line_start_) + 1;
        advance();  // '<'
        const std::size_t name_start = at_;
        while (at_ < xml_.size() && !is_blank(xml_[at_]) && xml_[at_] != '/' && xml_[at_] != '>') advance();
        const std::string_view element = xml_.substr(name_start, at_ - name_start);
        const auto excess = [&](std::string_view what) {
            return MarkupExcess{line, column, std::string(element), std::string(what)};
        };

        std::size_t attributes = 0;
        std::size_t token_start = at_;
        bool after_blank = true;
        char quote = 0;
        for (; at_ < xml_.size(); advance()) {
            const char c = xml_[at_];
            if (quote) {
                if (c == quote) {
                    quote = 0;
                    after_blank = true;
                }
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                advance();
                return std::nullopt;
            } else if (is_blank(c)) {
                after_blank = true;
            } else if (c == '=') {
                if (++attributes > most_attributes_per_element) return excess("too many attributes on one element");
                std::string_view name = xml_.substr(token_start, at_ - token_start);
                while (!name.empty() && is_blank(name.back())) name.remove_suffix(1);
                if ((name == "xmlns" || name.substr(0, 6) == "xmlns:") &&
                    ++namespaces_ > most_namespace_declarations)
                    return excess("too many namespace declarations");
                after_blank = true;
            } else if (after_blank) {
                token_start = at_;
                after_blank = false;
            }
        }
        return std::nullopt;
    }

    std::string_view xml_;
    std::size_t at_ = 0;
    long line_ = 1;
    std::size_t line_start_ = 0;
    std::size_t namespaces_ = 0;
};

}  // namespace

std::optional<MarkupExcess> find_markup_excess(std::string_view xml) { return Scanner(xml).run(); }

}  // namespace winemu

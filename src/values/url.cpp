// URL references resolved against a base, by RFC 3986 section 5.
#include <algorithm>

#include "base/text.h"
#include "values/values.h"

namespace tagsift {

namespace {

struct UrlParts {
    std::string_view scheme, authority, path, query, fragment;
    bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;
};

bool isSchemeByte(char c) {
    const char l = asciiLower(c);
    return (l >= 'a' && l <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The five components, as the regular expression of the RFC's appendix B splits them, except
// that a scheme must be one: a letter, then letters, digits, '+', '-' or '.'.
UrlParts split(std::string_view u) {
    UrlParts p;
    const std::size_t colon = u.find_first_of(":/?#");
    const auto name = u.substr(0, colon);
    if (colon != std::string_view::npos && u[colon] == ':' && !name.empty() && asciiLower(name[0]) >= 'a' &&
        asciiLower(name[0]) <= 'z' && std::all_of(name.begin(), name.end(), isSchemeByte)) {
        p.scheme = u.substr(0, colon);
        p.hasScheme = true;
        u.remove_prefix(colon + 1);
    }
    if (const std::size_t hash = u.find('#'); hash != std::string_view::npos) {
        p.fragment = u.substr(hash + 1);
        p.hasFragment = true;
        u = u.substr(0, hash);
    }
    if (const std::size_t question = u.find('?'); question != std::string_view::npos) {
        p.query = u.substr(question + 1);
        p.hasQuery = true;
        u = u.substr(0, question);
    }
    if (u.starts_with("//")) {
        const std::size_t slash = std::min(u.find('/', 2), u.size());
        p.authority = u.substr(2, slash - 2);
        p.hasAuthority = true;
        u.remove_prefix(slash);
    }
    p.path = u;
    return p;
}

void dropLastSegment(std::string& out) {
    const std::size_t slash = out.rfind('/');
    out.resize(slash == std::string::npos ? 0 : slash);
}

// Section 5.2.4. A path that does not begin with '/' (from a relative base) is read as if it
// did, so that ".." never makes it begin with one; where nothing of it is left, "./" stays.
std::string removeDotSegments(std::string_view path) {
    const bool relative = !path.empty() && path[0] != '/';
    std::string input(relative ? "/" : "");
    input.append(path);
    std::string_view in = input;
    std::string out;
    // The input always starts with '/', and each step keeps it so: of RFC 3986's steps (5.2.4),
    // those for a leading "./", "../", "." or ".." never apply.
    while (!in.empty()) {
        if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../") || in == "/..") {
            in = in.size() == 3 ? "/" : in.substr(3);
            dropLastSegment(out);
        } else {
            const std::size_t next = std::min(in.find('/', 1), in.size());
            out.append(in.substr(0, next));
            in.remove_prefix(next);
        }
    }
    if (relative) out = out.size() > 1 ? out.substr(1) : "./";
    return out;
}

// Browsers and urljoin pass over blanks and controls around an address, and tabs and line ends in it.
std::string cleaned(std::string_view u) {
    while (!u.empty() && static_cast<unsigned char>(u.front()) <= ' ') u.remove_prefix(1);
    while (!u.empty() && static_cast<unsigned char>(u.back()) <= ' ') u.remove_suffix(1);
    std::string s;
    for (char c : u)
        if (c != '\t' && c != '\n' && c != '\r') s.push_back(c);
    return s;
}

}  // namespace

std::string resolveUrl(std::string_view baseText, std::string_view referenceText) {
    const std::string baseClean = cleaned(baseText), referenceClean = cleaned(referenceText);
    const UrlParts base = split(baseClean);
    UrlParts ref = split(referenceClean);
    if (ref.hasScheme && base.hasScheme && !ref.hasAuthority && equalsIgnoringCase(ref.scheme, base.scheme))
        ref.hasScheme = false;  // "http:g" against an http base: relative, as browsers read it

    UrlParts t = ref;  // section 5.2.2, the parts of the target
    std::string path;
    if (ref.hasScheme && !ref.hasAuthority && !ref.path.starts_with('/')) {
        // An opaque path (data:, mailto:, javascript:) is kept whole, as browsers keep it: its
        // dots and slashes are the payload's, not segments.
        path = ref.path;
    } else if (ref.hasScheme || ref.hasAuthority) {
        path = removeDotSegments(ref.path);
    } else {
        if (ref.path.empty()) {
            path = base.path;
            if (!ref.hasQuery) {
                t.query = base.query;
                t.hasQuery = base.hasQuery;
            }
        } else if (ref.path[0] == '/') {
            path = removeDotSegments(ref.path);
        } else {
            // Section 5.2.3: the reference after the base's path up to its last '/'.
            const std::size_t slash = base.path.rfind('/');
            std::string merged(base.hasAuthority && base.path.empty() ? "/" : "");
            if (slash != std::string_view::npos) merged.append(base.path.substr(0, slash + 1));
            merged.append(ref.path);
            path = removeDotSegments(merged);
        }
        t.authority = base.authority;
        t.hasAuthority = base.hasAuthority;
    }
    if (!ref.hasScheme) {
        t.scheme = base.scheme;
        t.hasScheme = base.hasScheme;
    }

    std::string result;  // section 5.3, with the scheme in lower case, its usual form
    if (t.hasScheme) result.append(lowerCased(t.scheme)).push_back(':');
    if (t.hasAuthority) result.append("//").append(t.authority);
    result.append(path);
    if (t.hasQuery) result.append("?").append(t.query);
    if (t.hasFragment) result.append("#").append(t.fragment);
    return result;
}

}  // namespace tagsift

#include "bridge/skiff.hpp"

#include <algorithm>

#include "bridge/text.hpp"

namespace kestrel::bridge {

std::string anchor_finder_expr(std::string_view term) {
    return "(()=>{const term=" + quoted(term) +
           ".toLowerCase();"
           "const kept=Array.from(document.querySelectorAll('a')).filter(a=>{"
           "const h=(a.href||'').toLowerCase();"
           "const t=(a.textContent||'').toLowerCase();"
           "return h.includes('.pdf')||/datasheet|spec|文件|drawing/.test(t);});"
           "if(kept.length===0){return '';}"
           "const hit=kept.find(a=>((a.href||'')+(a.textContent||'')).toLowerCase().includes(term));"
           "return (hit||kept[0]).href;})()";
}

std::string fetcher_expr(std::string_view url) {
    // String.fromCharCode over 8192-byte chunks keeps each call within the
    // engine's argument-count limit on large PDFs.
    return "(async()=>{const r=await fetch(" + quoted(url) +
           ",{credentials:'include'});"
           "if(!r.ok){return 'http '+r.status;}"
           "const b=new Uint8Array(await r.arrayBuffer());"
           "let s='';"
           "for(let i=0;i<b.length;i+=8192){s+=String.fromCharCode.apply(null,b.subarray(i,i+8192));}"
           "return btoa(s);})()";
}

namespace {

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

}  // namespace

util::Result<std::string> base64_decode(std::string_view text) {
    std::string filtered;
    filtered.reserve(text.size());
    for (char c : text) {
        if (c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ' || c == '=') {
            continue;
        }
        filtered += c;
    }

    std::string out;
    out.reserve(filtered.size() / 4 * 3 + 2);
    for (size_t start = 0; start < filtered.size(); start += 4) {
        const size_t count = std::min<size_t>(4, filtered.size() - start);
        unsigned int group = 0;
        for (size_t k = 0; k < count; ++k) {
            int v = base64_value(filtered[start + k]);
            if (v < 0) {
                return util::Error("invalid char at byte " + std::to_string(start));
            }
            group |= static_cast<unsigned int>(v) << (18 - 6 * k);
        }
        // 4 characters carry 3 bytes, 3 carry 2, 2 carry 1; one alone carries
        // less than a byte and is dropped.
        const size_t bytes = count - 1;
        for (size_t k = 0; k < bytes; ++k) {
            out += static_cast<char>((group >> (16 - 8 * k)) & 0xFF);
        }
    }
    return out;
}

}  // namespace kestrel::bridge

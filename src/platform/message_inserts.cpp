#include "platform/message_inserts.h"

namespace fennex::platform {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A printf format as FormatMessage takes it between the two '!': flags, width, precision,
// an optional h or l for integers, and the conversion. Widths and precisions beyond three
// digits are refused rather than honoured with a huge buffer.
bool ParseSpec(std::string_view format, MessagePiece& piece) {
    std::size_t i = 0;
    while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos)
        ++i;
    auto digits = [&] {
        std::size_t start = i;
        while (i < format.size() && IsDigit(format[i])) ++i;
        return i - start <= 3;
    };
    if (!digits()) return false;
    if (i < format.size() && format[i] == '.') {
        ++i;
        if (!digits()) return false;
    }
    std::string flags(format.substr(0, i));
    bool longOrShort = false;
    if (i < format.size() && (format[i] == 'h' || format[i] == 'l')) {
        // Windows' long is 32 bits like int, so 'l' changes nothing and is dropped.
        if (format[i] == 'h') flags += 'h';
        longOrShort = true;
        ++i;
    }
    if (i + 1 != format.size()) return false;
    char conversion = format[i];
    if (std::string_view("diuoxXcs").find(conversion) == std::string_view::npos) return false;
    if (longOrShort && (conversion == 'c' || conversion == 's')) return false;
    piece.flags = std::move(flags);
    piece.conversion = conversion;
    return true;
}

}  // namespace

bool ParseMessageText(std::string_view text, std::vector<MessagePiece>& pieces) {
    pieces.clear();
    std::string literal;
    auto flush = [&] {
        if (literal.empty()) return;
        MessagePiece piece;
        piece.text = std::move(literal);
        pieces.push_back(std::move(piece));
        literal.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            // A bare CR or LF ends a line as CR LF does.
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            literal += "\r\n";
            continue;
        }
        if (c != '%') {
            literal += c;
            continue;
        }
        if (++i == text.size()) return false;
        c = text[i];
        if (c == '0') break;
        if (c >= '1' && c <= '9') {
            MessagePiece piece;
            piece.kind = MessagePiece::Kind::Insert;
            piece.index = static_cast<unsigned>(c - '0');
            if (i + 1 < text.size() && IsDigit(text[i + 1]))
                piece.index = piece.index * 10 + static_cast<unsigned>(text[++i] - '0');
            if (i + 1 < text.size() && text[i + 1] == '!') {
                std::size_t close = text.find('!', i + 2);
                if (close == std::string_view::npos) return false;
                if (!ParseSpec(text.substr(i + 2, close - i - 2), piece)) return false;
                i = close;
            }
            flush();
            pieces.push_back(std::move(piece));
            continue;
        }
        switch (c) {
        case 'n': literal += "\r\n"; break;
        case 'r': literal += '\r'; break;
        case 't': literal += '\t'; break;
        default: literal += c; break;
        }
    }
    flush();
    return true;
}

bool InsertsAreSatisfied(const std::vector<MessagePiece>& pieces, const std::uintptr_t* args,
                         std::size_t count) {
    for (const MessagePiece& piece : pieces) {
        if (piece.kind != MessagePiece::Kind::Insert) continue;
        if (args == nullptr || piece.index > count) return false;
        if (piece.conversion == 's' && args[piece.index - 1] == 0) return false;
    }
    return true;
}

}  // namespace fennex::platform

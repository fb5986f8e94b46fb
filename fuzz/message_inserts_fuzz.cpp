// Merges arbitrary message texts with arguments that match their inserts (a string where the
// text asks for one, so that a pointer is never made up) or fall short of them. A merge either
// fails or yields a text that the system could have returned.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/message.h"
#include "platform/message_inserts.h"

namespace fp = fennex::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 99);
    const std::string text = input.ConsumeRandomLengthString(4096);
    std::vector<fp::MessagePiece> pieces;
    fp::ParseMessageText(text, pieces);
    std::vector<bool> isString(count, false);
    for (const auto& piece : pieces)
        if (piece.kind == fp::MessagePiece::Kind::Insert && piece.conversion == 's' && piece.index <= count)
            isString[piece.index - 1] = true;
    std::vector<std::string> strings(count);
    std::vector<std::uintptr_t> args(count);
    for (std::size_t i = 0; i < count; ++i) {
        strings[i] = isString[i] ? input.ConsumeRandomLengthString(64) : std::string();
        args[i] = isString[i] ? reinterpret_cast<std::uintptr_t>(strings[i].c_str())
                              : input.ConsumeIntegral<std::uint32_t>();
    }
    std::string merged;
    if (fp::MergeInserts(text, count ? args.data() : nullptr, count, merged) &&
        (merged.empty() || merged.size() > 32767))
        std::abort();
    return 0;
}

// The benchmark's inputs, generated the same way on every run so that
// nothing large is kept in the repository.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dashtab::bench {

enum class InputKind { AsciiTsv, GbkText, Dense, AllLead };

inline constexpr InputKind kInputKinds[] = {InputKind::AsciiTsv, InputKind::GbkText,
                                            InputKind::Dense, InputKind::AllLead};

// "ascii-tsv", "gbk-text", "dense", "all-lead".
const char* InputName(InputKind kind);

// Whether `name` names an input; sets `kind` when it does.
bool InputFromName(std::string_view name, InputKind& kind);

// `size` bytes of the kind, with `separator` ("----" or a TAB) between its
// fields. The same arguments always give the same bytes.
std::string MakeInput(InputKind kind, std::string_view separator, std::size_t size);

}  // namespace dashtab::bench

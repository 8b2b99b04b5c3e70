// What oxls says itself (its hints, refusals and actions), in Japanese and
// in English; the compiler's own messages come from its catalogue. "%s" in
// a text stands for the arguments, in order.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "core/messages.hpp"

namespace oxls {

struct Text {
    std::string_view japanese;
    std::string_view english;
};

namespace say {

inline constexpr Text unmappable{"コードページ932で表せない文字です: %s", "character without a code page 932 form: %s"};
inline constexpr Text missing_brace{"'}'が抜けているようです: %s行目で開いたブロックが閉じないうちに、トップレベルの行が始まっています",
                                    "'}' probably missing: a top-level line begins before the block opened at line %s is closed"};
inline constexpr Text assignment_in_condition{"条件の中の'='です: '=='のつもりでしょうか",
                                              "'=' in a condition: did you mean '=='?"};
inline constexpr Text unreachable{"%sの後のこのコードは実行されません", "code after %s is never run"};
inline constexpr Text unused_local{"使われていないローカル変数です: %s", "local variable never used: %s"};

inline constexpr Text no_name_here{"ここには名前を変えられるものがありません", "there is no name to rename here"};
inline constexpr Text standard_function{"標準関数の名前は変えられません: %s", "a standard function cannot be renamed: %s"};
inline constexpr Text event_name{"イベントの名前は変えられません: %s", "an event's name cannot be renamed: %s"};
inline constexpr Text keyword{"予約語は名前ではありません: %s", "a keyword is no name: %s"};
inline constexpr Text through_define{"#defineを通して使われているので変えられません: %s",
                                     "used through a #define, so it cannot be renamed: %s"};
inline constexpr Text bad_new_name{"名前にできません: %s", "not a usable name: %s"};

inline constexpr Text declare_local{"ローカル変数 int %s を関数の先頭に宣言する", "Declare int %s at the top of the function"};
inline constexpr Text declare_global{"グローバル変数 int %s を宣言する", "Declare int %s as a global"};
inline constexpr Text add_prototype{"%s のプロトタイプ宣言を加える", "Add a prototype of %s"};
inline constexpr Text insert_semicolon{"';'を入れる", "Insert the missing ';'"};
inline constexpr Text not_formatted{"エラーか警告があるので整形しません", "not formatted: the source has errors or warnings"};

}  // namespace say

// The text in the language of the style (English for MessageStyle::english)
// with its "%s" filled in.
inline std::string said(const Text& text, oxbuild::MessageStyle style, std::initializer_list<std::string_view> args = {}) {
    const std::string_view form = style == oxbuild::MessageStyle::english ? text.english : text.japanese;
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < form.size(); ++i) {
        if (form.compare(i, 2, "%s") == 0 && arg != args.end()) {
            out += *arg++;
            ++i;
        } else {
            out += form[i];
        }
    }
    return out;
}

}  // namespace oxls

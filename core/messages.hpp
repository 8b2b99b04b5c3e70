// The compiler's message catalogue. Every text is kept three times: as
// UTF-8, so that it reads as what it says; as the code page 932 bytes that
// the compiler prints by default; and in English (ASCII), printed on request.
// A test checks that the first two are the same text.
#pragma once

#include <string_view>

namespace oxbuild {

struct Message {
    std::string_view utf8;
    std::string_view cp932;
    std::string_view english;
};

// How messages are printed (OXBUILD_MESSAGES): the code page 932 bytes, the
// same text in UTF-8, or English. The last two print names from the source
// converted to UTF-8.
enum class MessageStyle { cp932, utf8, english };

constexpr std::string_view text_in(const Message& message, MessageStyle style) {
    switch (style) {
        case MessageStyle::utf8: return message.utf8;
        case MessageStyle::english: return message.english;
        case MessageStyle::cp932: break;
    }
    return message.cp932;
}

namespace msg {

// command line: a second file name, or a name too long
inline constexpr Message bad_parameters{"パラメータに間違いがあります",
    "\203p\203\211\203\201\201[\203^\202\311\212\324\210\341\202\242\202\252\202\240\202\350\202\334\202\267",
    "invalid parameters"};
// command line: only options
inline constexpr Message no_file_given{"ファイルが指定されていません",
    "\203t\203@\203C\203\213\202\252\216w\222\350\202\263\202\352\202\304\202\242\202\334\202\271\202\361",
    "no file specified"};
// the source file cannot be opened
inline constexpr Message source_not_found{"指定ファイルが見つかりません",
    "\216w\222\350\203t\203@\203C\203\213\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361",
    "specified file not found"};
// the module file cannot be opened
inline constexpr Message module_not_opened{"出力ファイルがオープンできません",
    "\217o\227\315\203t\203@\203C\203\213\202\252\203I\201[\203v\203\223\202\305\202\253\202\334\202\271\202\361",
    "cannot open output file"};
// the dependency file (OXBUILD_DEPFILE) cannot be written; ": " and its name follow
inline constexpr Message depfile_not_written{"依存ファイルが書き込めません",
    "\210\313\221\266\203t\203@\203C\203\213\202\252\217\221\202\253\215\236\202\337\202\334\202\271\202\361",
    "cannot write dependency file"};
// final line after errors: "   %d" precedes it
inline constexpr Message error_count_suffix{"個のエラーがあります",
    "\214\302\202\314\203G\203\211\201[\202\252\202\240\202\350\202\334\202\267",
    " error(s)"};
inline constexpr Message syntax{"文法に間違いがあります",
    "\225\266\226@\202\311\212\324\210\341\202\242\202\252\202\240\202\350\202\334\202\267",
    "syntax error"};
inline constexpr Message comment_at_end{"ソースファイルがコメントの途中で終了しています",
    "\203\134\201[\203X\203t\203@\203C\203\213\202\252\203R\203\201\203\223\203g\202\314\223r\222\206\202\305\217I\227\271\202\265\202\304\202\242\202\334\202\267",
    "source file ends inside a comment"};
inline constexpr Message missing_close_brace{"'}'が見つかりません",
    "'}'\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361",
    "'}' not found"};
inline constexpr Message extra_close_brace{"余分な'}'があります",
    "\227]\225\252\202\310'}'\202\252\202\240\202\350\202\334\202\267",
    "extra '}'"};
inline constexpr Message nesting_too_deep{"ネストが深すぎます",
    "\203l\203X\203g\202\252\220[\202\267\202\254\202\334\202\267",
    "nesting too deep"};
inline constexpr Message pass_mismatch{"パス１とパス２で相違があります",
    "\203p\203X\202P\202\306\203p\203X\202Q\202\305\221\212\210\341\202\252\202\240\202\350\202\334\202\267",
    "pass 1 and pass 2 differ"};
inline constexpr Message only_in_while{"ＷＨＩＬＥの中でしか使用できません",
    "\202v\202g\202h\202k\202d\202\314\222\206\202\305\202\265\202\251\216g\227p\202\305\202\253\202\334\202\271\202\361",
    "allowed only inside while"};
inline constexpr Message bad_constant{"定数の形式に間違いがあります",
    "\222\350\220\224\202\314\214`\216\256\202\311\212\324\210\341\202\242\202\252\202\240\202\350\202\334\202\267",
    "invalid constant"};
inline constexpr Message missing_close_paren{"対応する')'が見つかりません",
    "\221\316\211\236\202\267\202\351')'\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361",
    "matching ')' not found"};
inline constexpr Message symbol_not_found{"シンボルが見つかりません",
    "\203V\203\223\203{\203\213\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361",
    "symbol not found"};
inline constexpr Message str_in_expression{"str型の変数は演算に使用できません",
    "str\214^\202\314\225\317\220\224\202\315\211\211\216Z\202\311\216g\227p\202\305\202\253\202\334\202\271\202\361",
    "str variable cannot be used in arithmetic"};
inline constexpr Message already_defined{"すでに同名のシンボルが定義されています",
    "\202\267\202\305\202\311\223\257\226\274\202\314\203V\203\223\203{\203\213\202\252\222\350\213`\202\263\202\352\202\304\202\242\202\334\202\267",
    "symbol already defined"};
inline constexpr Message name_not_letter{"シンボルの最初の文字は英字でなければなりません",
    "\203V\203\223\203{\203\213\202\314\215\305\217\211\202\314\225\266\216\232\202\315\211p\216\232\202\305\202\310\202\257\202\352\202\316\202\310\202\350\202\334\202\271\202\361",
    "symbol must begin with a letter"};
inline constexpr Message standard_function_name{"標準関数と同名のシンボルは使用できません",
    "\225W\217\200\212\326\220\224\202\306\223\257\226\274\202\314\203V\203\223\203{\203\213\202\315\216g\227p\202\305\202\253\202\334\202\271\202\361",
    "standard function name used as a symbol"};
inline constexpr Message reserved_word{"予約語と同名のシンボルは使用できません",
    "\227\134\226\361\214\352\202\306\223\257\226\274\202\314\203V\203\223\203{\203\213\202\315\216g\227p\202\305\202\253\202\334\202\271\202\361",
    "reserved word used as a symbol"};
inline constexpr Message too_many_arguments{"引数が多すぎます",
    "\210\370\220\224\202\252\221\275\202\267\202\254\202\334\202\267",
    "too many arguments"};
inline constexpr Message too_few_arguments{"引数が少なすぎます",
    "\210\370\220\224\202\252\217\255\202\310\202\267\202\254\202\334\202\267",
    "too few arguments"};
inline constexpr Message type_mismatch{"型が一致していません",
    "\214^\202\252\210\352\222v\202\265\202\304\202\242\202\334\202\271\202\361",
    "type mismatch"};
inline constexpr Message redeclared_type{"最初に宣言された型とは異なる型で再宣言しています",
    "\215\305\217\211\202\311\220\351\214\276\202\263\202\352\202\275\214^\202\306\202\315\210\331\202\310\202\351\214^\202\305\215\304\220\351\214\276\202\265\202\304\202\242\202\334\202\267",
    "redeclared with a different type"};
inline constexpr Message no_prototype{"プロトタイプ宣言されていない関数を呼び出しています",
    "\203v\203\215\203g\203^\203C\203v\220\351\214\276\202\263\202\352\202\304\202\242\202\310\202\242\212\326\220\224\202\360\214\304\202\321\217o\202\265\202\304\202\242\202\334\202\267",
    "call of a function without a prototype"};
inline constexpr Message no_function_body{"関数の本体が存在しません",
    "\212\326\220\224\202\314\226{\221\314\202\252\221\266\215\335\202\265\202\334\202\271\202\361",
    "function has no body"};
inline constexpr Message string_over_255{"文字列が２５５文字をこえています",
    "\225\266\216\232\227\361\202\252\202Q\202T\202T\225\266\216\232\202\360\202\261\202\246\202\304\202\242\202\334\202\267",
    "string longer than 255 characters"};
inline constexpr Message bad_assignment_target{"式の左辺が異常です",
    "\216\256\202\314\215\266\225\323\202\252\210\331\217\355\202\305\202\267",
    "invalid left side of assignment"};
inline constexpr Message include_not_found{"インクルードファイルが見つかりません",
    "\203C\203\223\203N\203\213\201[\203h\203t\203@\203C\203\213\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361",
    "include file not found"};
inline constexpr Message file_name_too_long{"ファイル名が長すぎます",
    "\203t\203@\203C\203\213\226\274\202\252\222\267\202\267\202\254\202\334\202\267",
    "file name too long"};
inline constexpr Message string_over_32{"文字列が３２文字をこえています",
    "\225\266\216\232\227\361\202\252\202R\202Q\225\266\216\232\202\360\202\261\202\246\202\304\202\242\202\334\202\267",
    "string longer than 32 characters"};
inline constexpr Message string_over_16{"文字列が１６文字をこえています",
    "\225\266\216\232\227\361\202\252\202P\202U\225\266\216\232\202\360\202\261\202\246\202\304\202\242\202\334\202\267",
    "string longer than 16 characters"};
inline constexpr Message string_over_64{"文字列が６４文字をこえています",
    "\225\266\216\232\227\361\202\252\202U\202S\225\266\216\232\202\360\202\261\202\246\202\304\202\242\202\334\202\267",
    "string longer than 64 characters"};
inline constexpr Message bitmap_number_twice{"ビットマップ番号が重複しています",
    "\203r\203b\203g\203}\203b\203v\224\324\215\206\202\252\217d\225\241\202\265\202\304\202\242\202\334\202\267",
    "duplicate bitmap number"};
inline constexpr Message bitmap_not_found{"ビットマップファイルが見つかりません",
    "\203r\203b\203g\203}\203b\203v\203t\203@\203C\203\213\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361",
    "bitmap file not found"};
inline constexpr Message bitmap_not_256_colours{"ビットマップファイルは２５６色でなければいけません",
    "\203r\203b\203g\203}\203b\203v\203t\203@\203C\203\213\202\315\202Q\202T\202U\220F\202\305\202\310\202\257\202\352\202\316\202\242\202\257\202\334\202\271\202\361",
    "bitmap file must have 256 colours"};
inline constexpr Message bitmap_malformed{"ビットマップファイルが異常です",
    "\203r\203b\203g\203}\203b\203v\203t\203@\203C\203\213\202\252\210\331\217\355\202\305\202\267",
    "invalid bitmap file"};
inline constexpr Message transparent_out_of_range{"透明色番号は０から２５５までです。",
    "\223\247\226\276\220F\224\324\215\206\202\315\202O\202\251\202\347\202Q\202T\202T\202\334\202\305\202\305\202\267\201B",
    "transparent colour index must be 0 to 255"};
inline constexpr Message palette_full{"全パレット数が２５６種をこえました",
    "\221S\203p\203\214\203b\203g\220\224\202\252\202Q\202T\202U\216\355\202\360\202\261\202\246\202\334\202\265\202\275",
    "shared palette exceeds 256 colours"};
inline constexpr Message wave_number_twice{"ウェーブ番号が重複しています",
    "\203E\203F\201[\203u\224\324\215\206\202\252\217d\225\241\202\265\202\304\202\242\202\334\202\267",
    "duplicate wave number"};
inline constexpr Message wave_not_found{"ウェーブファイルが見つかりません",
    "\203E\203F\201[\203u\203t\203@\203C\203\213\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361",
    "wave file not found"};
inline constexpr Message wave_malformed{"ウェーブファイルが異常です",
    "\203E\203F\201[\203u\203t\203@\203C\203\213\202\252\210\331\217\355\202\305\202\267",
    "invalid wave file"};
inline constexpr Message menu_id_range{"メニューＩＤに指定できる範囲は０から１００までです",
    "\203\201\203j\203\205\201[\202h\202c\202\311\216w\222\350\202\305\202\253\202\351\224\315\210\315\202\315\202O\202\251\202\347\202P\202O\202O\202\334\202\305\202\305\202\267",
    "menu ID must be 0 to 100"};
inline constexpr Message popup_text_over_255{"メニュー項目が２５５文字をこえています",
    "\203\201\203j\203\205\201[\215\200\226\332\202\252\202Q\202T\202T\225\266\216\232\202\360\202\261\202\246\202\304\202\242\202\334\202\267",
    "menu item longer than 255 characters"};
inline constexpr Message menu_item_text_over_256{"メニュー項目が２５６文字をこえています",
    "\203\201\203j\203\205\201[\215\200\226\332\202\252\202Q\202T\202U\225\266\216\232\202\360\202\261\202\246\202\304\202\242\202\334\202\267",
    "menu item longer than 256 characters"};
// detail naming an argument; its number follows
inline constexpr Message argument_detail{": 引数",
    ": \210\370\220\224",
    ": argument "};
// begins every warning after "%s(%d):"
inline constexpr Message warning{"警告:",
    "\214x\215\220:",
    "warning:"};
// #define of a defined name; the name follows
inline constexpr Message redefined{"再定義されました: ",
    "\215\304\222\350\213`\202\263\202\352\202\334\202\265\202\275: ",
    "redefined: "};
inline constexpr Message module_redefined{"#moduleが再定義されました",
    "#module\202\252\215\304\222\350\213`\202\263\202\352\202\334\202\265\202\275",
    "#module redefined"};
inline constexpr Message copyright_redefined{"#copyrightが再定義されました",
    "#copyright\202\252\215\304\222\350\213`\202\263\202\352\202\334\202\265\202\275",
    "#copyright redefined"};
inline constexpr Message version_redefined{"#versionが再定義されました",
    "#version\202\252\215\304\222\350\213`\202\263\202\352\202\334\202\265\202\275",
    "#version redefined"};
inline constexpr Message comment_redefined{"#commentが再定義されました",
    "#comment\202\252\215\304\222\350\213`\202\263\202\352\202\334\202\265\202\275",
    "#comment redefined"};

// Every entry above, for the tests of the catalogue.
inline constexpr const Message* all[] = {
    &bad_parameters,
    &no_file_given,
    &source_not_found,
    &module_not_opened,
    &depfile_not_written,
    &error_count_suffix,
    &syntax,
    &comment_at_end,
    &missing_close_brace,
    &extra_close_brace,
    &nesting_too_deep,
    &pass_mismatch,
    &only_in_while,
    &bad_constant,
    &missing_close_paren,
    &symbol_not_found,
    &str_in_expression,
    &already_defined,
    &name_not_letter,
    &standard_function_name,
    &reserved_word,
    &too_many_arguments,
    &too_few_arguments,
    &type_mismatch,
    &redeclared_type,
    &no_prototype,
    &no_function_body,
    &string_over_255,
    &bad_assignment_target,
    &include_not_found,
    &file_name_too_long,
    &string_over_32,
    &string_over_16,
    &string_over_64,
    &bitmap_number_twice,
    &bitmap_not_found,
    &bitmap_not_256_colours,
    &bitmap_malformed,
    &transparent_out_of_range,
    &palette_full,
    &wave_number_twice,
    &wave_not_found,
    &wave_malformed,
    &menu_id_range,
    &popup_text_over_255,
    &menu_item_text_over_256,
    &argument_detail,
    &warning,
    &redefined,
    &module_redefined,
    &copyright_redefined,
    &version_redefined,
    &comment_redefined,
};

}  // namespace msg
}  // namespace oxbuild

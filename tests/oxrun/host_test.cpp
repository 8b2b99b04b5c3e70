// The model host: what it carries out (strings, stored pairs, settings,
// the interval timer and the calendar on the virtual clock, conversions)
// and what it only records, answered from the script.
#include <gtest/gtest.h>

#include "oxrun/host.hpp"
#include "run_support.hpp"

using namespace oxruntest;

namespace {

constexpr std::string_view kVars = "int n, m, k, x, y, z, q;\nstr s, t;";

}  // namespace

TEST(OxrunHost, StringFunctions) {
    EXPECT_EQ(onload_calls(kVars,
                           "strcpy(s, \"ab\"); strcat(s, s); strlen(n, s); strcmp(n, \"b\", \"a\"); strcmp(n, \"a\", \"ab\");"
                           "strcmp(n, s, \"abab\");"),
              "  strcpy(&s=\"ab\", \"ab\")\n  strcat(&s=\"abab\", \"ab\")\n  strlen(&n=4, \"abab\")\n"
              "  strcmp(&n=1, \"b\", \"a\")\n  strcmp(&n=-1, \"a\", \"ab\")\n  strcmp(&n=0, \"abab\", \"abab\")\n"
              );
}

TEST(OxrunHost, TheModelsReadingsOfCutCharacterAndNumberText) {
    EXPECT_EQ(onload_calls(kVars,
                           "strcut(s, \"hello\", 1, 3); strcut(s, \"hello\", 4, 9); strcut(s, \"hi\", 5, 1);"
                           "strint(n, \"AB\", 1); strint(n, \"AB\", 2);"
                           "IntToStrDec(s, 7, 3); IntToStrDec(s, -7, 3); IntToStrHex(s, 255, 4); IntToStrhex(s, -1, 0);"
                           "IntToStrOct(s, 8, 0); StrDecToInt(n, \" -42x\"); StrHexToInt(n, \"0x1F\"); StrOctToInt(n, \"17\");"
                           "StrDecToInt(n, \"none\");"),
              "  strcut(&s=\"ell\", \"hello\", 1, 3)\n  strcut(&s=\"o\", \"hello\", 4, 9)\n  strcut(&s=\"\", \"hi\", 5, 1)\n"
              "  strint(&n=66, \"AB\", 1)\n  strint(&n=0, \"AB\", 2)\n"
              "  IntToStrDec(&s=\"007\", 7, 3)\n  IntToStrDec(&s=\"-07\", -7, 3)\n  IntToStrHex(&s=\"00FF\", 255, 4)\n"
              "  IntToStrhex(&s=\"ffffffff\", -1, 0)\n  IntToStrOct(&s=\"10\", 8, 0)\n  StrDecToInt(&n=-42, \" -42x\")\n"
              "  StrHexToInt(&n=31, \"0x1F\")\n  StrOctToInt(&n=15, \"17\")\n  StrDecToInt(&n=0, \"none\")\n");
}

TEST(OxrunHost, StoredPairsReadBackWhatWasSet) {
    EXPECT_EQ(onload_calls(kVars,
                           "SetField(1, 2, 3, 4); SetFieldPos(5, 6); GetField(n, m, k, x); SetFieldSize(7, 8);"
                           "GetFieldSize(n, m); GetFieldPos(k, x); SetBasePoint(9); GetBasePoint(n);"),
              "  SetField(1, 2, 3, 4)\n  SetFieldPos(5, 6)\n  GetField(&n=5, &m=6, &k=3, &x=4)\n  SetFieldSize(7, 8)\n"
              "  GetFieldSize(&n=7, &m=8)\n  GetFieldPos(&k=5, &x=6)\n  SetBasePoint(9)\n  GetBasePoint(&n=9)\n");
}

TEST(OxrunHost, SettingsByNameWithDefaultsAndPreloads) {
    const std::string source = std::string(kVars) +
                               "\nOnClick(int a, int b, int c)\n{\n    GetSettingINT(\"v\", n, 5); SetSettingINT(\"v\", 6);"
                               " GetSettingINT(\"v\", n, 5); GetSettingString(\"w\", s, \"none\");"
                               " GetSettingString(\"pre\", s, \"none\"); strcmp(m, s, \"z\"); GetSettingINT(\"count\", n, 0);\n}\n";
    const Result r = run_source(source, "setting pre \"日本\"\nsetting \"count\" -2\nOnClick 0 0 0\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "OnClick(0, 0, 0)\n  GetSettingINT(\"v\", &n=5, 5)\n  SetSettingINT(\"v\", 6)\n  GetSettingINT(\"v\", &n=6, 5)\n"
              "  GetSettingString(\"w\", &s=\"none\", \"none\")\n  GetSettingString(\"pre\", &s=\"日本\", \"none\")\n"
              "  strcmp(&m=1, \"日本\", \"z\")\n"
              "  GetSettingINT(\"count\", &n=-2, 0)\n");
}

// SetInterval(300) at 0: OnInterval at 300, 600, 900; the handler's
// SetInterval(1000) at 900 starts a new period, so the next is at 1900;
// SetInterval(0) stops it.
TEST(OxrunHost, IntervalTimerOnTheVirtualClock) {
    const std::string source =
        "int ticks, r, p;\nOnLoad(int &result)\n{\n    SetInterval(300);\n}\n"
        "OnInterval()\n{\n    ticks = ticks + 1;\n    if (ticks == 3) { SetInterval(1000); }\n"
        "    if (ticks == 4) { SetInterval(0); }\n}\n"
        "OnClick(int a, int b, int c)\n{\n    GetRemainInterval(r); GetProgressInterval(p); MessageBeep(ticks);\n}\n";
    const Result r = run_source(source, "wait 299\nOnClick 0 0 0\nwait 1\nwait 1000\nOnClick 0 0 0\nwait 5000\nOnClick 0 0 0\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "OnLoad(&result)\n  SetInterval(300)\n  -> &result=0\n"
              "OnClick(0, 0, 0)\n  GetRemainInterval(&r=1)\n  GetProgressInterval(&p=299)\n  MessageBeep(0)\n"
              "OnInterval()\nOnInterval()\nOnInterval()\n  SetInterval(1000)\n"
              "OnClick(0, 0, 0)\n  GetRemainInterval(&r=600)\n  GetProgressInterval(&p=400)\n  MessageBeep(3)\n"
              "OnInterval()\n  SetInterval(0)\n"
              "OnClick(0, 0, 0)\n  GetRemainInterval(&r=0)\n  GetProgressInterval(&p=0)\n  MessageBeep(4)\n");
}

TEST(OxrunHost, CalendarFollowsTheClock) {
    const std::string source = std::string(kVars) +
                               "\nOnClick(int a, int b, int c)\n{\n    GetTime(n, m, k, x, y, z, q);\n}\n";
    const Result r = run_source(source, "OnClick 0 0 0\ntime 2024-02-28 23:59:59\nwait 1500\nOnClick 0 0 0\n");
    EXPECT_EQ(r.out,
              "OnClick(0, 0, 0)\n  GetTime(&n=2000, &m=1, &k=1, &x=0, &y=0, &z=0, &q=6)\n"
              "OnClick(0, 0, 0)\n  GetTime(&n=2024, &m=2, &k=29, &x=0, &y=0, &z=0, &q=4)\n");
}

TEST(OxrunHost, RecordedFunctionsTakeQueuedAnswersInOrderOrKeepTheirValues) {
    const std::string source = std::string(kVars) +
                               "\nOnClick(int a, int b, int c)\n{\n    n = 3;\n    MessageBox(\"Sure?\", 4, n);"
                               " LineInputBox(\"Name\", 0, n, s); MessageBox(\"Again?\", 4, n); PlayWave(2);\n}\n";
    const Result r = run_source(source, "answer MessageBox 6\nanswer LineInputBox 1 \"Ann\\n\"\nanswer MessageBox 7\nOnClick 1 2 3\n");
    EXPECT_EQ(r.out,
              "OnClick(1, 2, 3)\n  MessageBox(\"Sure?\", 4, &n=6)\n  LineInputBox(\"Name\", 0, &n=1, &s=\"Ann\\n\")\n"
              "  MessageBox(\"Again?\", 4, &n=7)\n  PlayWave(2)\n");
    EXPECT_EQ(run_source(source, "OnClick 1 2 3\n").out,
              "OnClick(1, 2, 3)\n  MessageBox(\"Sure?\", 4, &n=3)\n  LineInputBox(\"Name\", 0, &n=3, &s=\"\")\n"
              "  MessageBox(\"Again?\", 4, &n=3)\n  PlayWave(2)\n");
}

TEST(OxrunHost, AStringPastTheLimitIsARuntimeError) {
    const Result r = run_source("str s;\nOnLoad(int &result)\n{\n    strcpy(s, \"x\");\n    while (1) { strcat(s, s); }\n}\n", "",
                             {"--max-string", "1000"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("runtime error: a string of 1024 bytes passes the model's limit of 1000 bytes (--max-string)"),
              std::string::npos)
        << r.err;
}

TEST(OxrunHost, HiddenFunctionsLeaveTheTrace) {
    EXPECT_EQ(onload_calls(kVars, "strcpy(s, \"a\"); strlen(n, s); MessageBeep(n);", {"--hide", "strcpy,strlen"}),
              "  MessageBeep(1)\n");
}

TEST(OxrunHost, CalendarArithmetic) {
    const oxrun::CalendarTime t{2026, 12, 9, 15, 58, 30};
    std::int32_t weekday = -1;
    const oxrun::CalendarTime back = oxrun::calendar_of(oxrun::seconds_of(t), weekday);
    EXPECT_EQ(weekday, 3);  // a Wednesday
    EXPECT_EQ(back.year * 10000 + back.month * 100 + back.day, 20261209);
    EXPECT_EQ(back.hour * 10000 + back.minute * 100 + back.second, 155830);
    EXPECT_EQ(oxrun::seconds_of({1970, 1, 1, 0, 0, 0}), 0);
    EXPECT_EQ(oxrun::seconds_of({2000, 3, 1, 0, 0, 0}), 951868800);
}

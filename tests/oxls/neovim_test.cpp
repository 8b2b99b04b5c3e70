// A real client: Neovim, headless, with its built-in LSP client and the
// configuration in editors/vim, on a source with known errors.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/test_support.hpp"

namespace oxtest {
namespace {

constexpr char kSource[] =
    "int total;\n"                 // 0
    "OnLoad(int &result)\n"        // 1
    "{\n"                          // 2
    "    total = missing + 1;\n"   // 3
    "    SetField(1, 2);\n"        // 4
    "    result = total;\n"        // 5
    "}\n";

// Opens the source, waits for the diagnostics, asks for hover, completion,
// definition and references, applies a code action, a rename and the
// formatting, and writes what came back and the buffer's text as JSON.
constexpr char kScript[] = R"lua(
local dir, out = ...
vim.opt.runtimepath:prepend(os.getenv('OXLS_EDITOR_DIR'))
vim.cmd('runtime! ftdetect/oxs.vim')
vim.g.oxls_command = os.getenv('OXLS_BINARY')
dofile(os.getenv('OXLS_EDITOR_DIR') .. '/oxls.lua')
vim.cmd('edit ' .. dir .. '/prog.oxs')
local result = { filetype = vim.bo.filetype }
vim.wait(20000, function() return #vim.diagnostic.get(0) > 0 end, 50)
result.diagnostics = {}
for _, d in ipairs(vim.diagnostic.get(0)) do
  table.insert(result.diagnostics, { line = d.lnum, message = d.message, severity = d.severity })
end
local function ask(method, line, character)
  local params = { textDocument = { uri = vim.uri_from_bufnr(0) }, position = { line = line, character = character } }
  local answers = vim.lsp.buf_request_sync(0, method, params, 10000) or {}
  for _, a in pairs(answers) do if a.result then return a.result end end
  return vim.NIL
end
result.hover = ask('textDocument/hover', 5, 14)
local completion = ask('textDocument/completion', 5, 4)
result.completion = {}
for _, item in ipairs(completion.items or completion) do table.insert(result.completion, item.label) end
result.definition = ask('textDocument/definition', 5, 14)
local function at(line, character, extra)
  local params = { textDocument = { uri = vim.uri_from_bufnr(0) }, position = { line = line, character = character } }
  for k, v in pairs(extra or {}) do params[k] = v end
  return params
end
local function request(method, params)
  local answers = vim.lsp.buf_request_sync(0, method, params, 10000) or {}
  for _, a in pairs(answers) do if a.result then return a.result end end
  return vim.NIL
end
result.references = #request('textDocument/references', at(5, 14, { context = { includeDeclaration = true } }))
local range = { start = { line = 3, character = 0 }, ['end'] = { line = 4, character = 0 } }
local actions = request('textDocument/codeAction', { textDocument = { uri = vim.uri_from_bufnr(0) }, range = range,
  context = { diagnostics = vim.lsp.diagnostic.get_line_diagnostics(0, 3) } })
result.actions = {}
for _, a in ipairs(actions) do table.insert(result.actions, a.title) end
if actions[1] then vim.lsp.util.apply_workspace_edit(actions[1].edit, 'utf-16') end
vim.lsp.util.apply_workspace_edit(request('textDocument/rename', at(0, 5, { newName = 'grand' })), 'utf-16')
vim.api.nvim_buf_set_lines(0, 5, 6, false, { '    SetField(1,2,3,4);' })
local edits = request('textDocument/formatting', { textDocument = { uri = vim.uri_from_bufnr(0) },
  options = { tabSize = 4, insertSpaces = true } })
if edits ~= vim.NIL then vim.lsp.util.apply_text_edits(edits, 0, 'utf-16') end
result.text = table.concat(vim.api.nvim_buf_get_lines(0, 0, -1, false), '\n')
local file = io.open(out, 'w')
file:write(vim.fn.json_encode(result))
file:close()
vim.cmd('qa!')
)lua";

bool have_neovim() { return std::system("command -v nvim > /dev/null 2>&1") == 0; }

TEST(OxlsNeovim, ShowsDiagnosticsAnswersQuestionsAndAppliesActionsRenameAndFormatting) {
    if (!have_neovim()) GTEST_SKIP() << "Neovim (nvim) is not installed; scripts/install-deps.sh test installs it";
    TempDir dir;
    write_file(dir / "prog.oxs", kSource);
    const std::string command = "cd " + dir.path().string() + " && OXLS_BINARY=" OXLS_BINARY
                                " OXLS_EDITOR_DIR=" OXBUILD_SOURCE_DIR "/editors/vim"
                                " timeout 60 nvim --headless --clean -c 'luafile test.lua' > nvim.log 2>&1";
    // luafile passes no arguments: the script is wrapped in a call that does.
    write_file(dir / "test.lua", std::string("local function run(...) ") + kScript + " end run('" +
                                     dir.path().string() + "', '" + (dir / "result.json") + "')");
    ASSERT_EQ(std::system(command.c_str()), 0) << "nvim failed";
    std::ifstream in(dir / "result.json");
    ASSERT_TRUE(in) << "nvim wrote no result";
    const nlohmann::json result = nlohmann::json::parse(in);

    EXPECT_EQ(result["filetype"], "oxs");
    std::vector<std::string> diagnostics;
    for (const auto& d : result["diagnostics"])
        diagnostics.push_back(std::to_string(d["line"].get<int>()) + ":" + d["message"].get<std::string>());
    std::sort(diagnostics.begin(), diagnostics.end());
    EXPECT_EQ(diagnostics, (std::vector<std::string>{"3:シンボルが見つかりません : missing", "4:引数が少なすぎます : 引数3"}));
    EXPECT_NE(result["hover"].dump().find("global variable, slot 0"), std::string::npos) << result["hover"].dump();
    const auto& labels = result["completion"];
    for (const char* label : {"total", "result", "SetField", "while"})
        EXPECT_NE(std::find(labels.begin(), labels.end(), label), labels.end()) << label;
    EXPECT_EQ(result["definition"]["range"]["start"], (nlohmann::json{{"line", 0}, {"character", 4}}))
        << result["definition"].dump();
    EXPECT_EQ(result["references"], 3);
    const auto& actions = result["actions"];
    EXPECT_NE(std::find(actions.begin(), actions.end(), "ローカル変数 int missing を関数の先頭に宣言する"), actions.end())
        << actions.dump();
    // The action's declaration, the rename and the formatting, as the editor applied them.
    EXPECT_EQ(result["text"],
              "int grand;\nOnLoad(int &result)\n{\n    int missing;\n    grand = missing + 1;\n    SetField(1, 2, 3, 4);\n"
              "    result = grand;\n}");
}

}  // namespace
}  // namespace oxtest

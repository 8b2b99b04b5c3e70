-- Neovim (0.7 or later): starts oxls for module sources. Put editors/vim on
-- the runtimepath for the file type and highlighting, then load this file,
-- for example from init.lua:
--   vim.opt.runtimepath:append('/path/to/oxbuild/editors/vim')
--   dofile('/path/to/oxbuild/editors/vim/oxls.lua')
-- vim.g.oxls_command names another server binary (default: oxls on the PATH).
local client_id

vim.api.nvim_create_autocmd('FileType', {
  pattern = 'oxs',
  callback = function(args)
    if not client_id or not vim.lsp.get_client_by_id(client_id) then
      client_id = vim.lsp.start_client({
        name = 'oxls',
        cmd = { vim.g.oxls_command or 'oxls' },
        root_dir = vim.fn.getcwd(),
      })
    end
    if client_id then vim.lsp.buf_attach_client(args.buf, client_id) end
  end,
})

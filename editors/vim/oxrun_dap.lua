-- Neovim with nvim-dap: debug module sources under oxrun, the model host's
-- runner, which speaks the Debug Adapter Protocol as oxrun --dap. Load it
-- after nvim-dap, for example from init.lua:
--   dofile('/path/to/oxbuild/editors/vim/oxrun_dap.lua')
-- then :lua require('dap').continue() in a .oxs buffer asks for the script
-- of events (empty for none) and runs; breakpoints are set as usual
-- (:lua require('dap').toggle_breakpoint()). vim.g.oxrun_command names
-- another runner binary (default: oxrun on the PATH).
local dap = require('dap')

dap.adapters.oxrun = {
  type = 'executable',
  command = vim.g.oxrun_command or 'oxrun',
  args = { '--dap' },
}

dap.configurations.oxs = {
  {
    type = 'oxrun',
    request = 'launch',
    name = 'Run the module under oxrun',
    program = '${file}',
    script = function()
      local script = vim.fn.input('Script of events: ', vim.fn.expand('%:p:r') .. '.oxt', 'file')
      return script ~= '' and script or nil
    end,
    stopOnEntry = false,
  },
}

" Module sources (.oxs) and their include files (.oxh), read and written as
" code page 932 (Shift-JIS).
augroup oxs_filetype
  autocmd!
  autocmd BufRead,BufNewFile *.oxs,*.oxh setfiletype oxs
  autocmd BufReadPre *.oxs,*.oxh let s:oxs_fileencodings = &fileencodings | set fileencodings=cp932
  autocmd BufReadPost *.oxs,*.oxh
        \ if exists('s:oxs_fileencodings') | let &fileencodings = s:oxs_fileencodings | unlet s:oxs_fileencodings | endif
  autocmd BufNewFile *.oxs,*.oxh setlocal fileencoding=cp932
augroup END

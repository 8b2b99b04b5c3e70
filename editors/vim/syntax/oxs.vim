" Vim syntax file for module sources (.oxs) and include files (.oxh).
if exists('b:current_syntax')
  finish
endif

syn case match
syn keyword oxsStatement if elseif else while continue break return
syn keyword oxsType int uint str
syn keyword oxsMenu POPUP MENUITEM
syn keyword oxsStandard SetBasePoint SetField SetFieldPos SetFieldSize GetBasePoint GetField
      \ GetFieldPos GetFieldSize ClearPattern GetPatternCount AddParts InsertParts DeleteParts
      \ GetParts ReplaceParts SetInterval GetRemainInterval GetProgressInterval SetSettingINT
      \ GetSettingINT SetSettingString GetSettingString MessageBox LineInputBox MultiLineInputBox
      \ ExecuteProcess WaitProcess FileSelectDialog GetTarget GetTargetPos GetTargetSize
      \ GetScreenSize Beep MessageBeep PlayWave StopWave PlayWaveFromFile PopupMenu EnableMenuItem
      \ CheckMenuItem GetMenuItemStatus Random GetTime strcpy strcat strcmp strlen strcut strint
      \ strchar IntToStrHex IntToStrhex IntToStrDec IntToStrOct StrHexToInt StrDecToInt StrOctToInt
syn keyword oxsEvent OnLoad OnUnload OnInterval OnClick OnDblClick OnTargetChanging OnTargetChanged
      \ OnTargetMoving OnTargetMoved OnMenuItemSelected

" Directives: '#' and the name, with blanks (even line ends) between them.
syn match oxsDirective "#\s*\(include\|define\|module\|copyright\|version\|comment\|bitmap\|wave\|menu\)\>"
" File names take no escapes: a backslash separates directories.
syn match oxsFileName +"[^"]*"+ contained
syn match oxsFileDirective +#\s*\(include\|bitmap\s\+-\?\s*\w\+\|wave\s\+-\?\s*\w\+\)\s*"[^"]*"+ contains=oxsDirective,oxsFileName,oxsNumber

" A digit-initial word that is no number; the numbers below win over it.
syn match oxsBadNumber "\<\d\w*\>"
syn match oxsNumber "\<0[xX]\x*\>"
syn match oxsNumber "\<0\o*\>"
syn match oxsNumber "\<[1-9]\d*\>"

syn match oxsEscape +\\\([xX]\x*\|.\)+ contained
syn region oxsString start=+"+ skip=+\\.+ end=+"+ contains=oxsEscape

" A block comment ends at the first */, and the '*' that opens it counts:
" /*/ is a whole comment. Comments do not nest.
syn match oxsComment "/\*/"
syn region oxsComment start="/\*\(/\)\@!" end="\*/"
syn match oxsComment "//.*$"

syn match oxsFunction "\<\h\w*\ze\s*("

hi def link oxsStatement Statement
hi def link oxsType Type
hi def link oxsMenu Keyword
hi def link oxsStandard Function
hi def link oxsEvent Function
hi def link oxsFunction Function
hi def link oxsDirective PreProc
hi def link oxsFileName String
hi def link oxsNumber Number
hi def link oxsBadNumber Error
hi def link oxsString String
hi def link oxsEscape SpecialChar
hi def link oxsComment Comment

let b:current_syntax = 'oxs'

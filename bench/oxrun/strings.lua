-- Copy, append, measure and compare strings, 300,000 times.
local i, total = 0, 0
while i < 300000 do
  local s = "abc"
  s = s .. "defgh"
  local n = #s
  local c = s < "abcdefgz" and -1 or (s == "abcdefgz" and 0 or 1)
  total = total + n + c
  i = i + 1
end
print(total)

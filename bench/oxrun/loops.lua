-- Nested loops: 3,000,000 turns of the inner loop.
local i, s = 0, 0
while i < 3000 do
  local j = 0
  while j < 1000 do
    s = s + j
    j = j + 1
  end
  i = i + 1
end
print(s)

-- A linear congruential generator folded into a checksum, 1,000,000 times.
local i, x, y = 0, 1, 0
while i < 1000000 do
  x = (x * 1103515245 + 12345) & 0x7FFFFFFF
  y = y ~ ((x >> 3) + x % 7)
  i = i + 1
end
print(y)

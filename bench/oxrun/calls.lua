-- Recursive Fibonacci of 27: about 630,000 calls.
local function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end
print(fib(27))

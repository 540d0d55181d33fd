-- pick, select, find, copy and insert on small tables and strings, 300,000 times
local b = {"a", 1, "b", 2, "c", 3, "d", 4}
local s = "hello world"
local function index(t, v)
  for i = 1, #t do if t[i] == v then return i end end
  return nil
end
local n = 0
for i = 1, 300000 do
  n = n + b[2]
  n = n + b[index(b, "c") + 1]
  if index(b, "d") then n = n + 1 end
  if string.find(s, "wor", 1, true) then n = n + 1 end
  local t = string.sub("ab", 1)
  t = "x" .. t
  n = n + #t
end
print(n)

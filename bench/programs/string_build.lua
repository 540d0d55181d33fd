local parts = {}
local n = 0
while n < 300000 do
  parts[#parts + 1] = "ab"
  parts[#parts + 1] = tostring(n)
  n = n + 1
end
print(#table.concat(parts))

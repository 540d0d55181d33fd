local b = {}
local x = 1
for _ = 1, 1000000 do
  x = (x * 75 + 74) % 65537
  b[#b + 1] = x
end
table.sort(b)
print(b[1], b[250000], b[500000], b[1000000])

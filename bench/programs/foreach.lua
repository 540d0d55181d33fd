local b = {}
for _ = 1, 10000 do for i = 1, 100 do b[#b + 1] = i end end
local s = 0
for _ = 1, 5 do for _, x in ipairs(b) do s = s + x end end
print(s)

local m = {}
for i = 1, 300000 do m["k" .. i] = i end
local s = 0
for i = 1, 300000 do s = s + m["k" .. i] end
print(s)

local out = {}
for i = 1, 1000000 do
  out[#out + 1] = tostring(i)
  out[#out + 1] = " "
end
print(#table.concat(out))

s = 0.0
i = 0
while i < 10000000:
    i = i + 1
    s = s + i
print(s)

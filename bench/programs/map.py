m = {}
for i in range(1, 300001):
    m["k" + str(i)] = i
s = 0
for i in range(1, 300001):
    s = s + m["k" + str(i)]
print(s)

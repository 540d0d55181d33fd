m = {}
for i in range(1, 300001):
    m["k" + str(i)] = i
print(len(m))

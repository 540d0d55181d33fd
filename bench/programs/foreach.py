b = []
for _ in range(10000):
    for i in range(1, 101):
        b.append(i)
s = 0
for _ in range(5):
    for x in b:
        s = s + x
print(s)

# pick, select, find, copy and insert on small lists and strings, 300,000 times
b = ["a", 1, "b", 2, "c", 3, "d", 4]
s = "hello world"
n = 0
for i in range(1, 300001):
    n += b[1]
    n += b[b.index("c") + 1]
    if "d" in b:
        n += 1
    if "wor" in s:
        n += 1
    t = "ab"[:]
    t = "x" + t
    n += len(t)
print(n)

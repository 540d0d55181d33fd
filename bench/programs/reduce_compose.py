n = 0
total = 0
while n < 300000:
    a = [n, n + 1, n * 2, "x"]
    b = [n, *a, [("n",)], "end"]
    total = total + len(b)
    n = n + 1
print(total)

parts = []
n = 0
while n < 300000:
    parts.append("ab")
    parts.append(str(n))
    n = n + 1
print(len("".join(parts)))

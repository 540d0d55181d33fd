out = []
for i in range(1, 1000001):
    out.append(str(i))
    out.append(" ")
print(len("".join(out)))

# The same work as binary_append.vyr: grow a byte array one byte at a time.
b = bytearray()
for _ in range(1048576):
    b.append(7)
print(len(b))

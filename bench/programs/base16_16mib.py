# The same work as base16_16mib.vyr: 16 MiB to hexadecimal text and back.
data = bytes(range(256)) * 65536
text = data.hex()
back = bytes.fromhex(text)
print(len(text))
print(back == data)

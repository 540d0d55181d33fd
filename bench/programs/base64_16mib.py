# The same work as base64_16mib.vyr: encode 16 MiB in base 64 and decode it again.
import base64
data = bytes(range(256)) * 65536
text = base64.b64encode(data)
back = base64.b64decode(text)
print(len(text))
print(back == data)

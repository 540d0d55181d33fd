from decimal import Decimal

total = Decimal("0")
price = Decimal("1.25")
i = 0
while i < 1000000:
    total = total + (price * 3)
    i = i + 1
print(total)

#!/usr/bin/env python3
"""Writes the inputs of the feature workloads (deterministic: a fixed seed).

    gen.py shop OUT [--orders N]   customers, products and orders
    gen.py book OUT [--chapters N] chapters, sections and paragraphs

Text that the workloads sort on is lower-case ASCII letters without spaces, so that
every processor orders it the same way (processors differ on case and white space in
text sorting). Prices are whole cents, so formatting them to two places never meets a
halfway case.
"""
import argparse
import random

SYLLABLES = ("ka dor ur mi quo el bel pra ne zo fen lis tur gon yor shi cas ta ix sal "
             "ve bri nol op an ru lo mek stra hul fi den gar ne tra zu pe").split()
CITIES = ("amsterdam berlin cairo dakar edinburgh fukuoka geneva hanoi istanbul jakarta "
          "kyoto lima madrid nairobi oslo porto quito riga seoul tunis utrecht "
          "valencia warsaw xian york zagreb").split()
CATEGORIES = ("books music garden tools toys games sports office kitchen health beauty "
              "travel camera phone audio video baby pets food drinks").split()


def word(rng, lo=2, hi=4):
    text = "".join(rng.choice(SYLLABLES) for _ in range(rng.randint(lo, hi)))
    return "".join(c for c in text if "a" <= c <= "z")


def cents(rng, lo, hi):
    value = rng.randint(lo * 100, hi * 100)
    sign = "-" if value < 0 else ""
    return f"{sign}{abs(value) // 100}.{abs(value) % 100:02d}"


def shop(out, orders, seed=1):
    rng = random.Random(seed)
    customers = max(50, orders // 10)
    products = max(50, orders // 20)
    with open(out, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<shop>\n<customers>\n')
        for i in range(customers):
            f.write(f'<customer id="c{i}" city="{rng.choice(CITIES)}">'
                    f'<name>{word(rng)}</name><since>{rng.randint(1990, 2024)}</since>'
                    f'<credit>{cents(rng, -5000, 50000)}</credit></customer>\n')
        f.write('</customers>\n<products>\n')
        for i in range(products):
            f.write(f'<product sku="p{i}" cat="{rng.choice(CATEGORIES)}">'
                    f'<title>{word(rng, 2, 5)}</title><price>{cents(rng, 1, 900)}</price>'
                    f'<stock>{rng.randint(0, 2000000)}</stock></product>\n')
        f.write('</products>\n<orders>\n')
        for i in range(orders):
            f.write(f'<order id="o{i}" customer="c{rng.randrange(customers)}" '
                    f'cat="{rng.choice(CATEGORIES)}" priority="{rng.randint(1, 5)}">'
                    f'<date>{rng.randint(2000, 2024)}-{rng.randint(1, 12):02d}-'
                    f'{rng.randint(1, 28):02d}</date>\n')
            for _ in range(rng.randint(1, 4)):
                f.write(f'<line sku="p{rng.randrange(products)}" qty="{rng.randint(1, 40)}"'
                        f' price="{cents(rng, 1, 900)}"/>\n')
            f.write(f'<note>{word(rng, 1, 6)}</note></order>\n')
        f.write('</orders>\n</shop>\n')


def book(out, chapters, seed=2):
    rng = random.Random(seed)
    with open(out, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<book>\n')
        for _ in range(chapters):
            f.write(f'<chapter><title>{word(rng)}</title>\n')
            for _ in range(rng.randint(2, 8)):
                f.write(f'<section><title>{word(rng)}</title>\n')
                for _ in range(rng.randint(0, 3)):
                    f.write(f'<section><title>{word(rng)}</title>\n')
                    for _ in range(rng.randint(1, 6)):
                        f.write(f'<para>{word(rng, 3, 12)}</para>\n')
                    if rng.random() < 0.3:
                        f.write(f'<figure src="{word(rng)}.png"/>\n')
                    f.write('</section>\n')
                for _ in range(rng.randint(1, 5)):
                    f.write(f'<para>{word(rng, 3, 12)}</para>\n')
                    if rng.random() < 0.2:
                        f.write(f'<figure src="{word(rng)}.png"/>\n')
                f.write('</section>\n')
            f.write('</chapter>\n')
        f.write('</book>\n')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("kind", choices=("shop", "book"))
    parser.add_argument("out")
    parser.add_argument("--orders", type=int, default=20000)
    parser.add_argument("--chapters", type=int, default=300)
    args = parser.parse_args()
    if args.kind == "shop":
        shop(args.out, args.orders)
    else:
        book(args.out, args.chapters)


if __name__ == "__main__":
    main()

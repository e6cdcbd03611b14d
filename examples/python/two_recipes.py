"""Two recipes of the ε-caprolactone example side by side, notebook style.

Run from the repository after building (the module sits in build/python):

    PYTHONPATH=build/python python3 examples/python/two_recipes.py

It prepares examples/living-caprolactone.kpx twice, at [I]0 = 0.01 and
0.02 mol/L, runs each with a fixed seed, prints the final figures and, when
matplotlib is installed (apt install python3-matplotlib), saves the
conversion curves and the SEC traces to two_recipes.png.
"""

import os
import sys

import propagon

here = os.path.dirname(os.path.abspath(__file__))
base = os.path.join(here, "..", "living-caprolactone.kpx")

# %% Prepare the two recipes: the same file, one typed value changed.
recipes = {
    "[I]0 = 0.01 mol/L": propagon.prepare(base, **{"Components/InitiatorAmount": 0.01}),
    "[I]0 = 0.02 mol/L": propagon.prepare(base, **{"Components/InitiatorAmount": 0.02}),
}

# %% Run them (about a second each); a progress callback could be given too.
results = {name: propagon.run(file, seed=1) for name, file in recipes.items()}
for name, result in results.items():
    s = result.summary
    print(f"{name}: conversion {s['conversion']:.3f}, Mn {s['Mn']:.0f} g/mol, dispersity {s['dispersity']:.3f}")

# %% Plot conversion against time and the SEC traces, if matplotlib is there.
try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:
    print("matplotlib is not installed: no figure (apt install python3-matplotlib)")
    sys.exit(0)

figure, (kinetics, sec) = plt.subplots(1, 2, figsize=(10, 4))
for name, result in results.items():
    table = result.checkpoints
    kinetics.plot(table["time_s"] / 3600.0, table["conversion"], marker=".", label=name)
    log10_m, signal = result.sec()
    sec.plot(log10_m, signal, label=name)
kinetics.set_xlabel("time / h")
kinetics.set_ylabel("conversion")
kinetics.legend()
sec.set_xlabel("log10(M / g mol$^{-1}$)")
sec.set_ylabel("SEC signal")
sec.set_xlim(2.5, 5.0)
sec.legend()
figure.tight_layout()
figure.savefig("two_recipes.png", dpi=100)
print("wrote two_recipes.png")

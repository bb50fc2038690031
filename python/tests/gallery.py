"""The gallery: matplotlib figures that the backend must draw as matplotlib does."""

import matplotlib

matplotlib.use("Agg")

import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

SIZE = (6.4, 4.8)  # inches
DPI = 100


def _figure():
    return plt.subplots(figsize=SIZE, dpi=DPI)


def line_plot():
    fig, ax = _figure()
    x = np.linspace(0, 10, 500)
    ax.plot(x, np.sin(x), label="sin x")
    ax.plot(x, np.cos(x), "--", label="cos x")
    ax.plot(x[::25], np.sin(x[::25]) * np.cos(x[::25]), "o:", label="product")
    ax.legend(loc="lower left")
    ax.set_title("Line plot with legend")
    ax.set_xlabel("x")
    ax.grid(True)
    return fig


def scatter():
    fig, ax = _figure()
    rng = np.random.default_rng(1)
    points = rng.normal(size=(100_000, 2))
    ax.scatter(points[:, 0], points[:, 1], s=2, alpha=0.3)
    ax.set_title("100,000 points")
    return fig


def scatter_colors(count=20_000):
    """A colour and a size for each point (the benchmark draws 100,000)."""
    fig, ax = _figure()
    rng = np.random.default_rng(3)
    points = rng.normal(size=(count, 2))
    sizes = 1 + 4 * rng.random(count).round(1)
    ax.scatter(points[:, 0], points[:, 1], c=np.hypot(points[:, 0], points[:, 1]), s=sizes,
               cmap="viridis", edgecolors="face", linewidths=0.2)
    ax.set_title(f"{count:,} points, a colour and size each")
    return fig


def bar_chart():
    fig, ax = _figure()
    names = ["north", "south", "east", "west", "centre"]
    ax.bar(names, [23, 45, 12, 36, 29], color="tab:green", edgecolor="black")
    ax.bar(names, [5, 8, 3, 9, 4], bottom=[23, 45, 12, 36, 29], color="tab:orange")
    ax.set_ylabel("count")
    ax.set_title("Bar chart")
    return fig


def histogram():
    fig, ax = _figure()
    rng = np.random.default_rng(2)
    ax.hist(rng.normal(size=5000), bins=40, alpha=0.7, label="normal")
    ax.hist(rng.gamma(2.0, size=5000) - 2, bins=40, histtype="step", linewidth=2, label="gamma")
    ax.legend()
    ax.set_title("Histogram")
    return fig


def filled_contour():
    fig, ax = _figure()
    x, y = np.meshgrid(np.linspace(-3, 3, 200), np.linspace(-2, 2, 150))
    z = np.sin(x * 2) * np.cos(y * 3) + np.exp(-(x ** 2 + y ** 2))
    filled = ax.contourf(x, y, z, levels=10, cmap="viridis")
    ax.contour(x, y, z, levels=10, colors="black", linewidths=0.5)
    fig.colorbar(filled, ax=ax)
    ax.set_title("Filled contours")
    return fig


def image():
    fig, ax = _figure()
    y, x = np.mgrid[0:40, 0:60]
    ax.imshow(np.sin(x / 6.0) * np.cos(y / 4.0), cmap="magma", origin="lower")
    ax.set_title("imshow")
    return fig


def text_and_annotations():
    fig, ax = _figure()
    ax.plot([0, 1, 2, 3], [1, 3, 2, 4], "k-")
    ax.annotate("peak", xy=(1, 3), xytext=(1.5, 3.6),
                arrowprops=dict(arrowstyle="->", color="red"))
    ax.text(0.2, 1.5, "rotated", rotation=30, fontsize=14, color="navy")
    ax.text(2.5, 1.2, "bold serif", family="serif", weight="bold", ha="center")
    ax.text(0.1, 3.5, "monospace italic", family="monospace", style="italic")
    ax.text(2.9, 3.0, r"$\alpha^2 + \beta_i$", fontsize=16, ha="right")
    ax.set_title("Text and annotations")
    ax.set_xlim(-0.2, 3.4)
    ax.set_ylim(0.5, 4.5)
    return fig


def choropleth():
    import geopandas

    world = geopandas.read_file(geopandas.datasets.get_path("naturalearth_lowres"))
    fig, ax = _figure()
    world.plot(column="pop_est", ax=ax, cmap="OrRd", edgecolor="gray", linewidth=0.3)
    ax.set_title("Population")
    return fig


FIGURES = [line_plot, scatter, scatter_colors, bar_chart, histogram, filled_contour, image,
           text_and_annotations, choropleth]

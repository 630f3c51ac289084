#include "sky_paint.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double DEGREE = PI / 180;

struct Rgb {
    double r, g, b;
};

Rgb mix(const Rgb& a, const Rgb& b, double k)
{
    return {a.r + (b.r - a.r) * k, a.g + (b.g - a.g) * k, a.b + (b.b - a.b) * k};
}

double smoothstep(double edge0, double edge1, double x)
{
    const double k = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return k * k * (3 - 2 * k);
}

// How much a band of halfWidth around a line covers a filter two texels wide at distance from
// the line. Two texels, not one: neighbours across a cube edge sit a texel apart, and where a line
// runs along an edge a softer ramp keeps them alike.
double coverage(double distance, double halfWidth, double texelAngle)
{
    return std::clamp((halfWidth + texelAngle - distance) / (2 * texelAngle), 0.0, 1.0);
}

const Rgb ZENITH{0.09, 0.22, 0.52};
const Rgb MID_SKY{0.30, 0.52, 0.82};
const Rgb HORIZON_SKY{0.80, 0.87, 0.93};
const Rgb NEAR_GROUND{0.40, 0.50, 0.30};
const Rgb FAR_GROUND{0.36, 0.27, 0.17};
const Rgb SUN{1.00, 0.97, 0.88};
const Rgb SUN_GLOW{1.00, 0.82, 0.55};
const Rgb GOLD{1.00, 0.76, 0.20};
const Rgb ROSE{0.95, 0.40, 0.55};

// In the world, y is up and the viewer starts looking along -z with +x to the right. The sun
// stands inside the face ahead, well clear of its edges.
constexpr double SUN_AZIMUTH = 25 * DEGREE;
constexpr double SUN_ELEVATION = 22 * DEGREE;
constexpr double SUN_RADIUS = 2.0 * DEGREE;
constexpr double GRID_STEP = 15 * DEGREE;
constexpr double LINE_HALF_WIDTH = 0.12 * DEGREE;

// Hill tops above the horizon by azimuth: no two directions alike, so swapped side faces show.
double hillHeight(double azimuth)
{
    const double height = 2.4 + 1.5 * std::sin(3 * azimuth + 0.4) + 1.0 * std::sin(7 * azimuth + 1.9) +
                          0.45 * std::sin(13 * azimuth + 0.3);
    return std::max(height, 0.3) * DEGREE;
}

Rgb groundColour(double depression)
{
    return mix(NEAR_GROUND, FAR_GROUND, smoothstep(0, 70 * DEGREE, depression));
}

Rgb skyGradient(double elevation)
{
    const double k = std::clamp(elevation / (90 * DEGREE), 0.0, 1.0);
    const Rgb low = mix(HORIZON_SKY, MID_SKY, smoothstep(0, 0.35, k));
    return mix(low, ZENITH, smoothstep(0.25, 1.0, k));
}

uint8_t channel(double value) { return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255)); }

}  // namespace

uint32_t skyColour(const Vec3& direction, double texelAngle)
{
    const Vec3 d = normalised(direction);
    const double elevation = std::asin(std::clamp(d.y, -1.0, 1.0));
    const double azimuth = std::atan2(d.x, -d.z);

    Rgb colour = skyGradient(elevation);

    const Vec3 sun{std::sin(SUN_AZIMUTH) * std::cos(SUN_ELEVATION), std::sin(SUN_ELEVATION),
                   -std::cos(SUN_AZIMUTH) * std::cos(SUN_ELEVATION)};
    const double fromSun = std::acos(std::clamp(dot(d, sun), -1.0, 1.0));
    const double glow = 0.55 * std::exp(-fromSun / (4 * DEGREE)) + 0.22 * std::exp(-fromSun / (20 * DEGREE));
    colour = mix(colour, SUN_GLOW, std::min(glow, 1.0));
    colour = mix(colour, SUN, coverage(fromSun, SUN_RADIUS, texelAngle));

    // Ground: below the hill line, smoothed over two texels like the lines.
    const double hills = hillHeight(azimuth);
    const double ground = std::clamp((hills - elevation) / (2 * texelAngle) + 0.5, 0.0, 1.0);
    const Rgb land = elevation > 0 ? mix(groundColour(0), HORIZON_SKY, 0.25 * elevation / hills) : groundColour(-elevation);
    colour = mix(colour, land, ground);

    // Lines of latitude: the distance in latitude is the angular distance.
    const double latitudeOff = std::abs(elevation - std::round(elevation / GRID_STEP) * GRID_STEP);
    const bool horizon = std::round(elevation / GRID_STEP) == 0;
    // Lines of longitude: the angle to the meridian's great circle.
    const long meridian = std::lround(azimuth / GRID_STEP);
    const double sinOff = std::abs(std::sin(azimuth - static_cast<double>(meridian) * GRID_STEP)) * std::cos(elevation);
    const double longitudeOff = std::asin(std::min(1.0, sinOff));

    // Light lines on the sky, dark ones on the land.
    const Rgb line = mix(Rgb{1, 1, 1}, Rgb{0.12, 0.12, 0.06}, ground);
    const double lineStrength = 0.30;
    colour = mix(colour, line, (horizon ? 0.45 : lineStrength) * coverage(latitudeOff, LINE_HALF_WIDTH, texelAngle));
    if (meridian == 0)
        colour = mix(colour, GOLD, 0.85 * coverage(longitudeOff, 1.5 * LINE_HALF_WIDTH, texelAngle));
    else if (meridian == 6)
        colour = mix(colour, ROSE, 0.85 * coverage(longitudeOff, 1.5 * LINE_HALF_WIDTH, texelAngle));
    else
        colour = mix(colour, line, lineStrength * coverage(longitudeOff, LINE_HALF_WIDTH, texelAngle));

    return static_cast<uint32_t>(channel(colour.r)) << 16 | static_cast<uint32_t>(channel(colour.g)) << 8 |
           channel(colour.b);
}

Picture paintFace(SkyFace face, int32_t size)
{
    Picture picture = makePicture(size, size, 0);
    const double texelSide = 2.0 / size;  // the cube is 2 wide
    for (int32_t py = 0; py < size; ++py) {
        // Row 0 is the top of the picture, t = 1.
        const double t = 1 - (py + 0.5) / size;
        for (int32_t px = 0; px < size; ++px) {
            const double s = (px + 0.5) / size;
            const Vec3 point = cubePoint(face, s, t);
            // A texel at distance r seen at angle acos(1 / r) spans about side / r across and
            // side / r^2 along the view; their geometric mean is close enough for smoothing.
            const double r = std::sqrt(dot(point, point));
            setPictureAt(picture, px, py, skyColour(point, texelSide / std::pow(r, 1.5)));
        }
    }
    return picture;
}

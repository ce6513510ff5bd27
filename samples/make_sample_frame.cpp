// Renders the shipped sample frame and its two ID channels: a small ray caster
// (floor, three spheres, a turned box, sky) with soft shadows, ambient
// occlusion and one reflection bounce, computed in floating point and written
// at 16 bits so the gradients carry more than 8 bits of detail.
//
// Usage: make_sample_frame OUTPUT_DIR
// Writes frame.png (16-bit RGBA), object_ids.png (16-bit grey),
// material_ids.png (8-bit grey) and sharpen.txt. Deterministic: the jitter
// comes from a hash of the pixel, not from a random source.
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr double kPi = 3.14159265358979323846;

struct Vec {
    double x = 0, y = 0, z = 0;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
Vec operator*(Vec a, Vec b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec Normalize(Vec a) { return a * (1.0 / std::sqrt(Dot(a, a))); }
Vec Mix(Vec a, Vec b, double t) { return a * (1 - t) + b * t; }

struct Object {
    enum Kind { kFloor, kSphere, kBox } kind;
    const char* name;
    uint16_t objectId;
    uint8_t materialId;
    Vec albedo;
    double gloss;  // share of reflected light and strength of the highlight
    Vec centre;    // sphere: centre; box: centre of the base
    double radius; // sphere: radius; box: unused
    Vec half;      // box: half extents in its own frame
    double turn;   // box: rotation about the vertical axis, radians
};

// Object IDs and material effects IDs are the numbers a user types into the
// dialog; sharpen.txt lists them from this table.
const std::array<Object, 5> kScene = {{
    {Object::kFloor, "floor", 1, 0, {0.60, 0.58, 0.54}, 0.0, {}, 0, {}, 0},
    {Object::kSphere, "red sphere, left", 2, 0, {0.80, 0.12, 0.08}, 0.08, {-1.55, 0.70, 0.20}, 0.70, {}, 0},
    {Object::kSphere, "blue glossy sphere, front", 3, 3, {0.08, 0.25, 0.80}, 0.45, {0.25, 0.55, 1.35}, 0.55, {}, 0},
    {Object::kSphere, "yellow sphere, right", 4, 0, {0.90, 0.66, 0.16}, 0.10, {1.85, 0.45, 0.35}, 0.45, {}, 0},
    {Object::kBox, "green glossy box, back", 5, 3, {0.10, 0.50, 0.24}, 0.30, {0.55, 0.0, -1.25}, 0, {0.75, 0.60, 0.55}, 0.62},
}};

const Vec kSunDir = Normalize({-0.55, 0.75, 0.45});
const Vec kSunColour = {1.00, 0.93, 0.80};

struct Hit {
    double t = 1e30;
    const Object* obj = nullptr;
    Vec normal;
    Vec local;  // box: hit point in the box frame, for its edge bevel shading
};

void IntersectSphere(const Object& o, Vec org, Vec dir, Hit& hit) {
    const Vec oc = org - o.centre;
    const double b = Dot(oc, dir), c = Dot(oc, oc) - o.radius * o.radius;
    const double disc = b * b - c;
    if (disc < 0) return;
    const double t = -b - std::sqrt(disc);
    if (t > 1e-6 && t < hit.t) {
        hit.t = t;
        hit.obj = &o;
        hit.normal = Normalize(org + dir * t - o.centre);
    }
}

Vec TurnY(Vec v, double a) {
    const double c = std::cos(a), s = std::sin(a);
    return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
}

void IntersectBox(const Object& o, Vec org, Vec dir, Hit& hit) {
    // Slab test in the box frame: centre at the origin, axis aligned.
    const Vec lo = TurnY(org - o.centre - Vec{0, o.half.y, 0}, -o.turn);
    const Vec ld = TurnY(dir, -o.turn);
    double tNear = -1e30, tFar = 1e30;
    int axis = 0;
    const double p[3] = {lo.x, lo.y, lo.z}, d[3] = {ld.x, ld.y, ld.z}, h[3] = {o.half.x, o.half.y, o.half.z};
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(d[i]) < 1e-12) {
            if (std::fabs(p[i]) > h[i]) return;
            continue;
        }
        double t0 = (-h[i] - p[i]) / d[i], t1 = (h[i] - p[i]) / d[i];
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > tNear) tNear = t0, axis = i;
        tFar = std::min(tFar, t1);
        if (tNear > tFar) return;
    }
    if (tNear <= 1e-6 || tNear >= hit.t) return;
    Vec n;
    (axis == 0 ? n.x : axis == 1 ? n.y : n.z) = d[axis] > 0 ? -1 : 1;
    hit.t = tNear;
    hit.obj = &o;
    hit.normal = TurnY(n, o.turn);
    hit.local = lo + ld * tNear;
}

void IntersectFloor(const Object& o, Vec org, Vec dir, Hit& hit) {
    if (dir.y >= -1e-9) return;
    const double t = -org.y / dir.y;
    if (t > 1e-6 && t < hit.t) {
        hit.t = t;
        hit.obj = &o;
        hit.normal = {0, 1, 0};
    }
}

Hit Trace(Vec org, Vec dir) {
    Hit hit;
    for (const Object& o : kScene) {
        switch (o.kind) {
            case Object::kFloor: IntersectFloor(o, org, dir, hit); break;
            case Object::kSphere: IntersectSphere(o, org, dir, hit); break;
            case Object::kBox: IntersectBox(o, org, dir, hit); break;
        }
    }
    return hit;
}

bool Blocked(Vec org, Vec dir) { return Trace(org, dir).obj != nullptr; }

// Hash of integers to [0, 1): deterministic jitter for the light and AO samples.
double Hash(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = a * 0x9E3779B1u ^ b * 0x85EBCA77u ^ c * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h / 4294967296.0;
}

Vec Sky(Vec dir) {
    const double up = std::max(0.0, dir.y);
    Vec c = Mix({0.62, 0.72, 0.86}, {0.10, 0.24, 0.62}, std::pow(up, 0.45));
    const double sun = std::max(0.0, Dot(dir, kSunDir));
    return c + kSunColour * (0.6 * std::pow(sun, 64.0) + 6.0 * std::pow(sun, 2000.0));
}

void Basis(Vec n, Vec& u, Vec& v) {
    u = Normalize(Cross(std::fabs(n.x) > 0.5 ? Vec{0, 1, 0} : Vec{1, 0, 0}, n));
    v = Cross(n, u);
}

Vec SurfaceAlbedo(const Hit& h, Vec p, double dist) {
    const Object& o = *h.obj;
    if (o.kind == Object::kFloor) {
        // Checker of 1 m squares with thin grid lines, faded into haze far away.
        const double fx = p.x - std::floor(p.x), fz = p.z - std::floor(p.z);
        const bool odd = (int(std::floor(p.x)) + int(std::floor(p.z))) & 1;
        Vec c = odd ? Vec{0.10, 0.11, 0.14} : o.albedo;
        const double line = std::min(std::min(fx, 1 - fx), std::min(fz, 1 - fz));
        if (line < 0.015) c = c * 0.55;
        // Squares far away are smaller than the four samples of a pixel can
        // resolve: fade them toward their mean instead of letting them alias.
        const double fade = std::clamp((dist - 10.0) / 25.0, 0.0, 1.0);
        return Mix(c, (o.albedo + Vec{0.10, 0.11, 0.14}) * 0.5, fade);
    }
    if (o.kind == Object::kBox) {
        // Darker rim near the box edges, so its silhouette has inner detail.
        const double ex = o.half.x - std::fabs(h.local.x), ey = o.half.y - std::fabs(h.local.y),
                     ez = o.half.z - std::fabs(h.local.z);
        const double nearest = std::min({ex + ey, ey + ez, ex + ez});
        return nearest < 0.06 ? o.albedo * 0.6 : o.albedo;
    }
    return o.albedo;
}

Vec Shade(Vec org, Vec dir, const Hit& h, uint32_t px, uint32_t py, int depth) {
    const Vec p = org + dir * h.t;
    const Vec n = h.normal;
    const Vec base = p + n * 1e-5;
    const Vec albedo = SurfaceAlbedo(h, p, h.t);

    // Soft shadow: 16 stratified samples over a sun disc of about 3 degrees.
    Vec su, sv;
    Basis(kSunDir, su, sv);
    int lit = 0;
    constexpr int kShadow = 16;
    for (int i = 0; i < kShadow; ++i) {
        const double a = 2 * kPi * (i + Hash(px, py, 100 + i)) / kShadow;
        const double r = 0.05 * std::sqrt(Hash(px, py, 200 + i));
        lit += !Blocked(base, Normalize(kSunDir + su * (r * std::cos(a)) + sv * (r * std::sin(a))));
    }
    const double sun = std::max(0.0, Dot(n, kSunDir)) * lit / kShadow;

    // Ambient occlusion from 12 cosine-weighted rays, limited to 1.5 units.
    Vec u, v;
    Basis(n, u, v);
    int open = 0;
    constexpr int kAo = 12;
    for (int i = 0; i < kAo; ++i) {
        const double a = 2 * kPi * (i + Hash(px, py, 300 + i)) / kAo;
        const double r2 = Hash(px, py, 400 + i);
        const Vec d = Normalize(u * (std::cos(a) * std::sqrt(r2)) + v * (std::sin(a) * std::sqrt(r2)) +
                                n * std::sqrt(1 - r2));
        const Hit occ = Trace(base, d);
        open += !occ.obj || occ.t > 1.5;
    }
    const Vec ambient = Mix({0.30, 0.32, 0.36}, {0.45, 0.58, 0.80}, 0.5 + 0.5 * n.y) * (double(open) / kAo);

    Vec colour = albedo * (kSunColour * (1.9 * sun) + ambient * 0.45);
    const Object& o = *h.obj;
    if (o.gloss > 0) {
        const Vec refl = Normalize(dir - n * (2 * Dot(dir, n)));
        const double spec = std::pow(std::max(0.0, Dot(refl, kSunDir)), 80.0) * lit / kShadow;
        colour = colour + kSunColour * (6.0 * o.gloss * spec);
        if (depth == 0) {
            const double fresnel = o.gloss * (0.35 + 0.65 * std::pow(1 - std::max(0.0, -Dot(dir, n)), 5.0));
            const Hit rh = Trace(base, refl);
            const Vec rc = rh.obj ? Shade(base, refl, rh, px, py, 1) : Sky(refl);
            colour = Mix(colour, rc, fresnel);
        }
    }
    // Distance haze toward the horizon colour keeps the far checker from aliasing.
    const double haze = 1 - std::exp(-h.t * 0.012);
    return Mix(colour, Sky({dir.x, 0.02, dir.z}), haze);
}

struct Camera {
    Vec pos{0.2, 1.55, 6.2}, fwd, right, up;
    double scale;
    // dolly: sideways move of the camera, for the frames of the sequence.
    explicit Camera(double dolly = 0) {
        pos.x += dolly;
        fwd = Normalize(Vec{0.1, 0.65, 0} - pos);
        right = Normalize(Cross(fwd, {0, 1, 0}));
        up = Cross(right, fwd);
        scale = std::tan(0.5 * 42.0 * kPi / 180.0);
    }
    Vec Ray(double sx, double sy) const {  // sx, sy in pixels from the top-left corner
        const double nx = (2 * sx / kWidth - 1) * scale * kWidth / kHeight;
        const double ny = (1 - 2 * sy / kHeight) * scale;
        return Normalize(fwd + right * nx + up * ny);
    }
};

uint16_t To16(double linear) {
    // Filmic-ish shoulder, then the sRGB-like 1/2.2 curve.
    const double mapped = 1 - std::exp(-1.2 * std::max(0.0, linear));
    const double g = std::pow(mapped, 1 / 2.2);
    return static_cast<uint16_t>(std::lround(std::clamp(g, 0.0, 1.0) * 65535.0));
}

// Writes rows of samples (8 or 16 bits) through libpng; 16-bit samples go in
// big-endian order, as PNG stores them.
bool WritePng(const std::string& path, int colourType, int bits, int channels, const std::vector<uint16_t>& samples) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const size_t rowBytes = size_t(kWidth) * channels * (bits / 8);
    std::vector<png_byte> row(rowBytes);
    bool ok = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_set_IHDR(png, info, kWidth, kHeight, bits, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kHeight; ++y) {
            const uint16_t* s = &samples[size_t(y) * kWidth * channels];
            for (int i = 0; i < kWidth * channels; ++i) {
                if (bits == 16) {
                    row[2 * i] = static_cast<png_byte>(s[i] >> 8);
                    row[2 * i + 1] = static_cast<png_byte>(s[i] & 0xFF);
                } else {
                    row[i] = static_cast<png_byte>(s[i]);
                }
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 && ok;
}

// Renders one view: colour with four samples a pixel on a rotated grid; the
// ID channels take the one object under the pixel centre, as a renderer's ID
// buffer does.
void RenderView(const Camera& cam, std::vector<uint16_t>& rgba, std::vector<uint16_t>& objectIds,
                std::vector<uint16_t>& materialIds, std::array<long, 6>& objectCount,
                std::array<long, 256>& materialCount) {
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            constexpr double kOffsets[4][2] = {{0.375, 0.125}, {0.875, 0.375}, {0.625, 0.875}, {0.125, 0.625}};
            Vec sum;
            for (int s = 0; s < 4; ++s) {
                const Vec d = cam.Ray(x + kOffsets[s][0], y + kOffsets[s][1]);
                const Hit h = Trace(cam.pos, d);
                sum = sum + (h.obj ? Shade(cam.pos, d, h, x * 4 + s, y, 0) : Sky(d));
            }
            sum = sum * 0.25;
            const Hit centre = Trace(cam.pos, cam.Ray(x + 0.5, y + 0.5));
            const size_t i = size_t(y) * kWidth + x;
            rgba[4 * i + 0] = To16(sum.x);
            rgba[4 * i + 1] = To16(sum.y);
            rgba[4 * i + 2] = To16(sum.z);
            rgba[4 * i + 3] = 65535;
            objectIds[i] = centre.obj ? centre.obj->objectId : 0;
            materialIds[i] = centre.obj ? centre.obj->materialId : 0;
            ++objectCount[objectIds[i]];
            ++materialCount[materialIds[i]];
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<uint16_t> rgba(size_t(kWidth) * kHeight * 4), objectIds(size_t(kWidth) * kHeight),
        materialIds(size_t(kWidth) * kHeight);
    std::array<long, 6> objectCount{};
    std::array<long, 256> materialCount{};
    RenderView(Camera(), rgba, objectIds, materialIds, objectCount, materialCount);
    bool ok = WritePng(dir + "/frame.png", PNG_COLOR_TYPE_RGB_ALPHA, 16, 4, rgba);
    ok = WritePng(dir + "/object_ids.png", PNG_COLOR_TYPE_GRAY, 16, 1, objectIds) && ok;
    ok = WritePng(dir + "/material_ids.png", PNG_COLOR_TYPE_GRAY, 8, 1, materialIds) && ok;

    FILE* t = std::fopen((dir + "/sharpen.txt").c_str(), "w");
    if (!t) ok = false;
    if (t) {
        std::fprintf(t,
                     "Sample frame for Velmora Filter, %d x %d pixels.\n"
                     "frame.png: 16-bit RGBA, alpha 65535 everywhere.\n"
                     "object_ids.png: 16-bit grey, the object channel.\n"
                     "material_ids.png: 8-bit grey, the material effects channel.\n\n"
                     "Object IDs (pixels):\n  0  sky (%ld)\n",
                     kWidth, kHeight, objectCount[0]);
        for (const Object& o : kScene)
            std::fprintf(t, "  %d  %s (%ld)\n", o.objectId, o.name, objectCount[o.objectId]);
        std::fprintf(t, "\nMaterial effects IDs (pixels):\n");
        for (int m = 0; m < 256; ++m) {
            if (!materialCount[m]) continue;
            std::string who = m == 0 ? "sky and every object not listed" : "";
            for (const Object& o : kScene)
                if (m != 0 && o.materialId == m) who += (who.empty() ? "" : ", ") + std::string(o.name);
            std::fprintf(t, "  %d  %s (%ld)\n", m, who.c_str(), materialCount[m]);
        }
        std::fprintf(t,
                     "\nTo sharpen only the red sphere: source \"Object Channel\", ID 2, kernel\n"
                     "   0 -1  0\n  -1  5 -1\n   0 -1  0\n"
                     "with Divide 1, Offset 0. \"Material Effects Channel\" with ID 3 changes only\n"
                     "the blue sphere and the box.\n");
        ok = std::fclose(t) == 0 && ok;
    }
    // A short sequence for batch runs: the camera dollies to the right, and
    // every frame has its own object IDs under the frame's file name.
    for (int f = 1; f <= 3; ++f) {
        std::array<long, 6> oc{};
        std::array<long, 256> mc{};
        RenderView(Camera(0.12 * (f - 1)), rgba, objectIds, materialIds, oc, mc);
        const std::string name = "/shot_" + std::to_string(f) + ".png";
        ok = WritePng(dir + "/sequence" + name, PNG_COLOR_TYPE_RGB_ALPHA, 16, 4, rgba) && ok;
        ok = WritePng(dir + "/sequence_ids" + name, PNG_COLOR_TYPE_GRAY, 16, 1, objectIds) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "could not write the sample files to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}

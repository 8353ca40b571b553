// Small vector and matrix helpers for the scene code.
// Matrices are 4x4 floats stored row by row and applied to column vectors (p' = M * p),
// so a translation sits in the fourth column and products compose right to left.
#pragma once

#include <cmath>
#include <cstdint>

namespace mirel
{

constexpr float kDegToRad = 0.017453292f;
constexpr float kLargestFloat = 3.4028235e38f;

struct Vec3
{
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct Vec4
{
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
};

struct Mat4
{
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    float& At(int row, int col) { return m[row * 4 + col]; }
    float At(int row, int col) const { return m[row * 4 + col]; }
    // Upper three rows of a column: the basis vectors and the translation of a world matrix.
    Vec3 Column(int col) const { return {m[col], m[4 + col], m[8 + col]}; }
    void SetColumn(int col, const Vec3& v)
    {
        m[col] = v.x;
        m[4 + col] = v.y;
        m[8 + col] = v.z;
    }
    Vec4 Row(int row) const { return {m[row * 4], m[row * 4 + 1], m[row * 4 + 2], m[row * 4 + 3]}; }
};

inline Vec3 operator+(Vec3 a, Vec3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator-(Vec3 a)
{
    return {-a.x, -a.y, -a.z};
}
inline Vec3 operator*(Vec3 a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
inline Vec3& operator+=(Vec3& a, Vec3 b)
{
    return a = a + b;
}
inline Vec3& operator-=(Vec3& a, Vec3 b)
{
    return a = a - b;
}
inline float Dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 a)
{
    return std::sqrt(Dot(a, a));
}
// A zero vector has no direction and is returned unchanged.
inline Vec3 Normalize(Vec3 a)
{
    const float len = Length(a);
    return len > 0.0f ? a * (1.0f / len) : a;
}
inline Mat4 operator*(const Mat4& a, const Mat4& b)
{
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k)
                s += a.m[i * 4 + k] * b.m[k * 4 + j];
            r.m[i * 4 + j] = s;
        }
    return r;
}

inline Mat4 Transpose(const Mat4& a)
{
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i * 4 + j] = a.m[j * 4 + i];
    return r;
}

inline Mat4 Translation(Vec3 t)
{
    Mat4 r;
    r.m[3] = t.x;
    r.m[7] = t.y;
    r.m[11] = t.z;
    return r;
}

inline Mat4 RotationX(float degrees)
{
    const float a = degrees * kDegToRad, c = std::cos(a), s = std::sin(a);
    Mat4 r;
    r.m[5] = c;
    r.m[6] = -s;
    r.m[9] = s;
    r.m[10] = c;
    return r;
}

inline Mat4 RotationY(float degrees)
{
    const float a = degrees * kDegToRad, c = std::cos(a), s = std::sin(a);
    Mat4 r;
    r.m[0] = c;
    r.m[2] = s;
    r.m[8] = -s;
    r.m[10] = c;
    return r;
}

inline Mat4 RotationZ(float degrees)
{
    const float a = degrees * kDegToRad, c = std::cos(a), s = std::sin(a);
    Mat4 r;
    r.m[0] = c;
    r.m[1] = -s;
    r.m[4] = s;
    r.m[5] = c;
    return r;
}

inline Vec3 TransformPoint(const Mat4& a, Vec3 p)
{
    return {a.m[0] * p.x + a.m[1] * p.y + a.m[2] * p.z + a.m[3],
            a.m[4] * p.x + a.m[5] * p.y + a.m[6] * p.z + a.m[7],
            a.m[8] * p.x + a.m[9] * p.y + a.m[10] * p.z + a.m[11]};
}

inline Vec4 TransformVec4(const Mat4& a, Vec4 p)
{
    return {a.m[0] * p.x + a.m[1] * p.y + a.m[2] * p.z + a.m[3] * p.w,
            a.m[4] * p.x + a.m[5] * p.y + a.m[6] * p.z + a.m[7] * p.w,
            a.m[8] * p.x + a.m[9] * p.y + a.m[10] * p.z + a.m[11] * p.w,
            a.m[12] * p.x + a.m[13] * p.y + a.m[14] * p.z + a.m[15] * p.w};
}

} // namespace mirel

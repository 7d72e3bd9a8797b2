// SPDX-License-Identifier: Apache-2.0
#include "plugins/f3dbridge/F3dMatrix.h"

#include <cmath>

F3dMatrix F3dMatrix::identity() {
    return scale(1.0, 1.0, 1.0);
}

F3dMatrix F3dMatrix::translation(double x, double y, double z) {
    F3dMatrix result = identity();
    result.m[3][0] = x;
    result.m[3][1] = y;
    result.m[3][2] = z;
    return result;
}

F3dMatrix F3dMatrix::scale(double x, double y, double z) {
    F3dMatrix result = {};
    result.m[0][0] = x;
    result.m[1][1] = y;
    result.m[2][2] = z;
    result.m[3][3] = 1.0;
    return result;
}

F3dMatrix F3dMatrix::operator*(const F3dMatrix& other) const {
    F3dMatrix result = {};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += m[r][k] * other.m[k][c];
            }
            result.m[r][c] = sum;
        }
    }
    return result;
}

void F3dMatrix::transformPoint(const double in[3], double out[3]) const {
    for (int c = 0; c < 3; ++c) {
        out[c] = in[0] * m[0][c] + in[1] * m[1][c] + in[2] * m[2][c] + m[3][c];
    }
}

bool F3dMatrix::inverse(F3dMatrix& out) const {
    const double a = m[0][0], b = m[0][1], c = m[0][2];
    const double d = m[1][0], e = m[1][1], f = m[1][2];
    const double g = m[2][0], h = m[2][1], i = m[2][2];
    const double cofactor0 = e * i - f * h;
    const double cofactor1 = f * g - d * i;
    const double cofactor2 = d * h - e * g;
    const double determinant = a * cofactor0 + b * cofactor1 + c * cofactor2;
    // A collapsed axis has no inverse; a tiny determinant would give absurd voxel spaces.
    double largest = 0.0;
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col) {
            largest = std::fmax(largest, std::fabs(m[r][col]));
        }
    }
    if (!std::isfinite(determinant) || !(largest > 0.0) ||
        !(std::fabs(determinant) > 1e-12 * largest * largest * largest)) {
        return false;
    }
    F3dMatrix result = {};
    const double scaleBy = 1.0 / determinant;
    result.m[0][0] = cofactor0 * scaleBy;
    result.m[0][1] = (c * h - b * i) * scaleBy;
    result.m[0][2] = (b * f - c * e) * scaleBy;
    result.m[1][0] = cofactor1 * scaleBy;
    result.m[1][1] = (a * i - c * g) * scaleBy;
    result.m[1][2] = (c * d - a * f) * scaleBy;
    result.m[2][0] = cofactor2 * scaleBy;
    result.m[2][1] = (b * g - a * h) * scaleBy;
    result.m[2][2] = (a * e - b * d) * scaleBy;
    for (int col = 0; col < 3; ++col) {
        result.m[3][col] =
            -(m[3][0] * result.m[0][col] + m[3][1] * result.m[1][col] + m[3][2] * result.m[2][col]);
    }
    result.m[3][3] = 1.0;
    out = result;
    return true;
}

bool F3dMatrix::isAffine() const {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!std::isfinite(m[r][c])) {
                return false;
            }
        }
    }
    return m[0][3] == 0.0 && m[1][3] == 0.0 && m[2][3] == 0.0 && m[3][3] == 1.0;
}

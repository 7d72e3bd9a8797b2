// SPDX-License-Identifier: Apache-2.0
// A 4x4 double matrix in Field3D's (Imath's) row-vector convention: a point is the row
// [x y z 1] and maps to [x y z 1] * M, so a * b applies a first, and the translation is
// the last row. Only affine matrices (last column 0 0 0 1) are ever built or inverted.
#pragma once

class F3dMatrix {
public:
    static F3dMatrix identity();
    static F3dMatrix translation(double x, double y, double z);
    static F3dMatrix scale(double x, double y, double z);

    // this, then other.
    F3dMatrix operator*(const F3dMatrix& other) const;
    // [in 1] * M, affine part only.
    void transformPoint(const double in[3], double out[3]) const;
    // False (out untouched) when the linear part is singular or not finite.
    bool inverse(F3dMatrix& out) const;
    // Last column 0 0 0 1 and every element finite.
    bool isAffine() const;

    double m[4][4];
};

// Conversions between engine matrices and ODE poses, and placing and reading the body.
#include "tests/body/BodyScene.h"

#include <cmath>
#include <numbers>

namespace vex::test {
namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2;

D3DXMATRIX Product(std::initializer_list<D3DXMATRIX> factors)
{
    D3DXMATRIX result = IdentityMatrix();
    for (const D3DXMATRIX& f : factors)
        D3DXMatrixMultiply(&result, &result, &f);
    return result;
}

D3DXMATRIX Scaling(float x, float y, float z)
{
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, x, y, z);
    return m;
}

D3DXMATRIX RotationZ(float a)
{
    D3DXMATRIX m;
    D3DXMatrixRotationZ(&m, a);
    return m;
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "row " << r << " column " << c;
}

class MatrixSync : public testing::Test {
protected:
    void SetUp() override
    {
        scene.world->SetGravity(D3DXVECTOR3(0, 0, 0));
        body = scene.AddBody("body");
    }
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = nullptr;
};

TEST_F(MatrixSync, OdeRotationOfIdentityIsIdentityRowsWithZeroFourthColumn)
{
    dReal R[12];
    std::fill(std::begin(R), std::end(R), 42.0);
    body->GetODERotationMatrix(IdentityMatrix(), R);
    const dReal expected[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(R[i], expected[i]) << i;
    body->GetODERotationMatrix(IdentityMatrix(), nullptr); // nothing to write, no crash
}

TEST_F(MatrixSync, OdeRotationIsTheTransposeAndIgnoresTranslation)
{
    D3DXMATRIX m = Product({RotationZ(0.3f), Translation(5, 6, 7)});
    m._14 = 9; // the fourth column is not part of the rotation
    dReal R[12];
    body->GetODERotationMatrix(m, R);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(R[4 * r + c], static_cast<double>(m.m[c][r]));
        EXPECT_EQ(R[4 * r + 3], 0.0);
    }
}

TEST_F(MatrixSync, MatrixRotationDropsScaleAndTranslation)
{
    ExpectMatrixNear(body->GetMatrixRotation(Product({Scaling(2, 3, 4), Translation(5, 6, 7)})), IdentityMatrix(),
                     1e-6f);
    const D3DXMATRIX turned = RotationZ(0.7f);
    ExpectMatrixNear(body->GetMatrixRotation(Product({Scaling(3, 3, 3), turned, Translation(1, 1, 1)})), turned, 1e-6f);
}

TEST_F(MatrixSync, MatrixRotationKeepsAZeroRowAndNormalisesTheOthers)
{
    D3DXMATRIX m = Scaling(2, 0, 5);
    const D3DXMATRIX r = body->GetMatrixRotation(m);
    EXPECT_EQ(r._11, 1.0f);
    EXPECT_EQ(r._21, 0.0f);
    EXPECT_EQ(r._22, 0.0f);
    EXPECT_EQ(r._23, 0.0f);
    EXPECT_EQ(r._33, 1.0f);
    EXPECT_EQ(r._44, 1.0f);
    EXPECT_EQ(r._41, 0.0f);
}

TEST_F(MatrixSync, ScaleIsTakenOutForTheBodyAndPutBackIntoTheOutput)
{
    const D3DXMATRIX start = Product({Scaling(2, 2, 2), RotationZ(kHalfPi), Translation(1, 2, 3)});
    scene.AddStart(body, start);
    scene.RunFrames(1);
    ASSERT_NE(body->GetBodyID(), nullptr);
    EXPECT_NEAR(body->bodyScale.x, 2.0f, 1e-6f);
    EXPECT_NEAR(body->bodyScale.y, 2.0f, 1e-6f);
    EXPECT_NEAR(body->bodyScale.z, 2.0f, 1e-6f);
    // The body itself turns by a pure rotation: orthonormal rows of length 1.
    const dReal* R = dBodyGetRotation(body->GetBodyID());
    for (int row = 0; row < 3; ++row)
        EXPECT_NEAR(R[4 * row] * R[4 * row] + R[4 * row + 1] * R[4 * row + 1] + R[4 * row + 2] * R[4 * row + 2], 1.0,
                    1e-6);
    // The box was built with the scale in its edges.
    dVector3 lengths;
    dGeomBoxGetLengths(body->GetGeometryItem(0)->innerGeom, lengths);
    EXPECT_NEAR(lengths[0], 2.0, 1e-6);
    body->SetBodyPositionFromMatrix();
    ExpectMatrixNear(body->GetBodyMatrix(true), start, 1e-6f);
    ExpectMatrixNear(body->GetBodyMatrix(false), Product({RotationZ(kHalfPi), Translation(1, 2, 3)}), 1e-6f);
}

TEST_F(MatrixSync, RestPinPlacesTheBodyAtTheOldMatrixAndKeepsItsScale)
{
    const D3DXMATRIX start = Product({Scaling(1, 3, 1), Translation(0, 2, 0)});
    scene.AddStart(body, start);
    scene.RunFrames(1);
    dBodySetPosition(body->GetBodyID(), 5, 5, 5);
    body->SetBodyPositionFromOldMatrix();
    EXPECT_NEAR(dBodyGetPosition(body->GetBodyID())[1], 2.0, 1e-6);
    EXPECT_NEAR(body->bodyScale.y, 3.0f, 1e-6f);
}

TEST_F(MatrixSync, BodyMatrixOfABodyWithoutItemsIsIdentity)
{
    body->RemoveGeometryItem(0);
    EXPECT_EQ(body->GetBodyMatrix(false), IdentityMatrix());
    EXPECT_EQ(body->GetBodyMatrix(true), IdentityMatrix());
}

TEST_F(MatrixSync, StaticBodyNonSizedMatrixIsTheStartWithoutScale)
{
    body->SetIfUseDynamics(false);
    scene.AddStart(body, Product({Scaling(4, 4, 4), RotationZ(0.5f), Translation(1, 2, 3)}));
    scene.RunFrames(1);
    ExpectMatrixNear(body->GetNonSizedBodyMatrix(), Product({RotationZ(0.5f), Translation(1, 2, 3)}), 1e-6f);
}

TEST_F(MatrixSync, PlacingAStaticBodyChangesNothing)
{
    body->SetIfUseDynamics(false);
    scene.AddStart(body, Scaling(3, 3, 3));
    scene.RunFrames(1);
    const D3DXVECTOR3 before = body->bodyScale;
    body->SetBodyPositionFromMatrix();
    body->SetBodyPositionFromOldMatrix();
    EXPECT_EQ(body->bodyScale, before);
    EXPECT_EQ(body->GetBodyID(), nullptr);
}

TEST_F(MatrixSync, BodyMatrixOfAStaticPlaneIsIdentityRatherThanAnOdeError)
{
    body->SetGeometryItem(MakeItem(kShapePlane), 0);
    scene.AddStart(body, Translation(0, 1, 0));
    scene.RunFrames(1);
    EXPECT_EQ(body->GetBodyMatrix(false), IdentityMatrix());
}

// Engine matrix -> ODE rotation -> engine matrix (the formula the body matrix uses) gives the rotation back.
TEST_F(MatrixSync, RotationRoundTripsThroughOde)
{
    for (float yaw : {0.0f, 0.4f, 1.7f, -2.9f}) {
        for (float pitch : {0.0f, -0.8f, 1.2f}) {
            D3DXMATRIX m;
            D3DXMatrixRotationYawPitchRoll(&m, yaw, pitch, 0.3f);
            dReal R[12];
            body->GetODERotationMatrix(m, R);
            auto f = [&](int i) { return static_cast<float>(R[i]); };
            const D3DXMATRIX back{f(0), f(4), f(8), 0, f(1), f(5), f(9), 0, f(2), f(6), f(10), 0, 0, 0, 0, 1};
            EXPECT_EQ(back, m);
        }
    }
}

} // namespace
} // namespace vex::test

// Collider methods of the body channel. Placeholder until the mesh colliders land: finds no contacts.
#include "body/Tvc_ODE_BodyCollision.h"

unsigned long Tvc_ODE_BodyCollision::CollideSphere(dGeomID, unsigned long, dContactGeom*, unsigned long) { return 0; }
unsigned long Tvc_ODE_BodyCollision::CollideBox(dGeomID, unsigned long, dContactGeom*, unsigned long, dGeomID) { return 0; }
bool Tvc_ODE_BodyCollision::SphereTriangleCollision(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&) { return false; }
bool Tvc_ODE_BodyCollision::SphereEdgeCollision(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, float) { return false; }
void Tvc_ODE_BodyCollision::CalculateSphereBounds(D3DXMATRIX, D3DXVECTOR3, float) {}
bool Tvc_ODE_BodyCollision::GetIfPlaneContainsPoint(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3, D3DXVECTOR3&) { return false; }
float Tvc_ODE_BodyCollision::GetPointEdgeDistance(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&) { return 0; }
void Tvc_ODE_BodyCollision::CreateBoxFromPoly(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, dReal*, dReal*, dReal*, D3DXVECTOR3&) {}
void Tvc_ODE_BodyCollision::CalculateBoxBounds(D3DXMATRIX, D3DXMATRIX, const dReal*) {}
int Tvc_ODE_BodyCollision::dBoxBox(const dReal*, const dReal*, const dReal*, const dReal*, const dReal*, const dReal*, dReal*, dReal*, int*, int, dContactGeom*, int) { return 0; }
void Tvc_ODE_BodyCollision::lineClosestApproach(const dReal*, const dReal*, const dReal*, const dReal*, dReal*, dReal*) {}

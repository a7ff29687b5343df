// Builds the three.js objects for a run's data: bodies, static meshes, collision triangles, planes, lamps.
import * as THREE from 'three';

const PALETTE = [0xd9822b, 0x3f8fd2, 0x6fbf4a, 0xc8504f, 0x9b6fd0, 0xd4b03c, 0x3fb8a8, 0xb7687f];

function bufferGeometry(positions, normals, uvs) {
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.Float32BufferAttribute(positions, 3));
  if (normals && normals.length === positions.length)
    geometry.setAttribute('normal', new THREE.Float32BufferAttribute(normals, 3));
  else
    geometry.computeVertexNormals();
  if (uvs) geometry.setAttribute('uv', new THREE.Float32BufferAttribute(uvs, 2));
  return geometry;
}

// One group per body; its shapes sit at their body-space matrices.
export function makeBodies(data) {
  return data.bodies.map((body, index) => {
    const group = new THREE.Group();
    group.name = body.name;
    const material = new THREE.MeshStandardMaterial({ color: PALETTE[index % PALETTE.length], roughness: 0.65 });
    for (const shape of body.shapes) {
      const geometry = shape.box
        ? new THREE.BoxGeometry(shape.box[0], shape.box[1], shape.box[2])
        : new THREE.SphereGeometry(shape.sphere, 24, 16);
      const mesh = new THREE.Mesh(geometry, material);
      mesh.matrixAutoUpdate = false;
      mesh.matrix.fromArray(shape.matrix);
      mesh.userData.body = index;
      group.add(mesh);
    }
    return group;
  });
}

// Light maps as textures: linear filtering by default, nearest to see texels. The image's first row is
// the map's v = 0, so the texture is not flipped.
export function makeLightMaps(data) {
  const textures = {};
  for (const [name, url] of Object.entries(data.lightMaps || {})) {
    const texture = new THREE.TextureLoader().load(url);
    texture.flipY = false;
    texture.wrapS = texture.wrapT = THREE.RepeatWrapping;
    texture.colorSpace = THREE.SRGBColorSpace;
    texture.magFilter = THREE.LinearFilter;
    textures[name] = texture;
  }
  return textures;
}

export function makeStaticMeshes(data, textures) {
  return data.meshes.map((m) => {
    const texture = m.lightMap ? textures[m.lightMap] : null;
    const material = texture
      ? new THREE.MeshBasicMaterial({ map: texture, side: THREE.DoubleSide })
      : new THREE.MeshStandardMaterial({ color: 0xb8b0a0, roughness: 0.9, side: THREE.DoubleSide });
    const mesh = new THREE.Mesh(bufferGeometry(m.positions, m.normals, texture ? m.uvs : null), material);
    mesh.name = m.name;
    return mesh;
  });
}

export function makeCollision(data) {
  const group = new THREE.Group();
  for (const c of data.collision) {
    if (!c.positions.length) continue;
    const wire = new THREE.WireframeGeometry(bufferGeometry(c.positions));
    const material = new THREE.LineBasicMaterial({ color: 0x7fd0ff, transparent: true, opacity: 0.35 });
    const lines = new THREE.LineSegments(wire, material);
    lines.name = c.name;
    group.add(lines);
  }
  return group;
}

export function makePlanes(data, size) {
  const group = new THREE.Group();
  for (const plane of data.planes) {
    const quad = new THREE.Mesh(new THREE.PlaneGeometry(size, size),
      new THREE.MeshStandardMaterial({ color: 0x8a9aa8, transparent: true, opacity: 0.45, side: THREE.DoubleSide }));
    quad.rotation.x = -Math.PI / 2;
    quad.position.y = plane.distance;
    group.add(quad);
    // One-metre lines near the scene give the eye a scale on an otherwise plain plane.
    const grid = new THREE.GridHelper(40, 40, 0x5a6a78, 0x5a6a78);
    grid.position.y = plane.distance + 0.001;
    group.add(grid);
  }
  return group;
}

// A lamp: a light of its own colour in the scene, and a marker (sphere, direction arrow, spot cone).
export function makeLamp(lamp, centre, reach) {
  const group = new THREE.Group();
  const colour = new THREE.Color(...lamp.colour.map((c) => Math.min(1, c)));
  const direction = new THREE.Vector3(...lamp.direction);
  if (direction.lengthSq() < 1e-12) direction.set(0, -1, 0);
  direction.normalize();
  const position = lamp.type === 'directional'
    ? centre.clone().addScaledVector(direction, -reach) : new THREE.Vector3(...lamp.position);
  const marker = new THREE.Mesh(new THREE.SphereGeometry(reach * 0.025, 16, 8),
    new THREE.MeshBasicMaterial({ color: colour }));
  marker.position.copy(position);
  group.add(marker);
  let light;
  if (lamp.type === 'point') {
    light = new THREE.PointLight(colour, 1.5, 0, 0);
  } else {
    group.add(new THREE.ArrowHelper(direction, position, reach * 0.3, colour.getHex()));
    if (lamp.type === 'spot') {
      const length = Math.min(lamp.range > 0 ? lamp.range : reach, reach * 0.6);
      const half = Math.min(lamp.outer > 0 ? lamp.outer / 2 : Math.PI / 8, 1.4);
      const cone = new THREE.Mesh(new THREE.ConeGeometry(Math.tan(half) * length, length, 24, 1, true),
        new THREE.MeshBasicMaterial({ color: colour, wireframe: true, transparent: true, opacity: 0.35 }));
      // The cone's apex at the lamp, opening along the direction.
      cone.position.copy(position).addScaledVector(direction, length / 2);
      cone.quaternion.setFromUnitVectors(new THREE.Vector3(0, -1, 0), direction);
      group.add(cone);
      light = new THREE.SpotLight(colour, 1.5, 0, half, 0.3, 0);
    } else {
      light = new THREE.DirectionalLight(colour, 1.2);
    }
    light.target.position.copy(position).add(direction);
    group.add(light.target);
  }
  light.position.copy(position);
  group.add(light);
  return group;
}

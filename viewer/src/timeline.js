// The recorded frames: poses per kept frame, the speed of a body from neighbouring kept frames.

export class Timeline {
  constructor(t) {
    this.names = t.names;
    this.frames = t.frames;
    this.times = t.times;
    this.poses = t.poses;
    this.stride = t.stride;
    this.recorded = t.recorded;
    this.bodies = t.names.length;
  }

  get count() { return this.frames.length; }

  // x, y, z, qw, qx, qy, qz of a body at a kept frame.
  pose(index, body) {
    const at = (index * this.bodies + body) * 7;
    return this.poses.slice(at, at + 7);
  }

  // Metres per second: central difference where there are frames on both sides.
  speed(index, body) {
    if (this.count < 2) return 0;
    const a = Math.max(0, index - 1), b = Math.min(this.count - 1, index + 1);
    const p = this.pose(a, body), q = this.pose(b, body);
    const dt = this.times[b] - this.times[a];
    if (!(dt > 0)) return 0;
    return Math.hypot(q[0] - p[0], q[1] - p[1], q[2] - p[2]) / dt;
  }

  // The kept frame at or just before a simulated time.
  indexAt(time) {
    let lo = 0, hi = this.count - 1;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (this.times[mid] <= time) lo = mid; else hi = mid - 1;
    }
    return lo;
  }
}

#pragma once
// What a run reports: per frame the pose of every body channel (trajectory.csv), the final matrix of every
// matrix channel (matrices.csv) and a short summary. Files are written through a temporary file and a
// rename, so a failed write leaves the previous file in place.

#include "host/ReplacementFile.h"
#include "platform/D3DXMath.h"

#include <string>
#include <vector>

class Tav_Channel;
class Vexcore;

namespace vex::app {

struct Quaternion {
    float w = 1, x = 0, y = 0, z = 0;
};

/// The rotation of a matrix (row vectors, rows possibly scaled) as a unit quaternion with w >= 0.
Quaternion QuaternionFromMatrix(const D3DXMATRIX& m);

/// Channels of the graph whose type is the rigid-body type, in graph order.
std::vector<Tav_Channel*> FindBodies(const Vexcore& host);
/// Channels of the graph that are matrix channels (the matrix type or a type derived from it).
std::vector<Tav_Channel*> FindMatrixChannels(const Vexcore& host);
/// The matrix a matrix channel holds now, read without running its frame evaluation.
D3DXMATRIX StoredMatrix(Tav_Channel* channel);

/// The header line of trajectory.csv.
extern const char* const kTrajectoryHeader;
/// Appends one trajectory row per body, with the matrix each holds now.
void AppendTrajectoryRows(std::string& text, const Vexcore& host, const std::vector<Tav_Channel*>& bodies,
                          unsigned long frame, double seconds);

/// Rows "frame,time,name,x,y,z,qw,qx,qy,qz", one per body per recorded frame, streamed to a file as the
/// frames run, so that memory stays the same however long the run: rows are written out every
/// kFlushFrames recorded frames, into a new file that replaces the target when Finish is called.
class Trajectory {
public:
    /// Recorded frames between two writes to the file.
    static constexpr unsigned long kFlushFrames = 60;

    /// Starts the file at path; every: keep only the frames whose number is a multiple of it. Throws
    /// RunError when the file cannot be created.
    Trajectory(const Vexcore& host, const std::string& path, unsigned long every = 1);
    /// Appends one row per body with the matrix it holds now, when the frame is one to keep.
    void Record(unsigned long frame, double seconds);
    /// Writes what is left and puts the file in place of the target; throws RunError on a failed write.
    void Finish();
    size_t RowCount() const { return rows_; }
    size_t BodyCount() const { return bodies_.size(); }
    const std::string& Path() const { return path_; }

private:
    void Flush();

    const Vexcore& host_;
    std::vector<Tav_Channel*> bodies_;
    std::string path_;
    unsigned long every_;
    unsigned long buffered_ = 0; ///< frames in pending_
    vex::ReplacementFile file_;
    std::string pending_;
    size_t rows_ = 0;
};

/// A CSV field as RFC 4180 has it: quoted (quotes doubled) when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

/// "name,m11,...,m44" per matrix channel, in graph order, with every float written exactly.
std::string MatricesCsv(const Vexcore& host);

struct RestCount {
    int dynamic = 0;                  ///< bodies running an ODE body
    int atRest = 0;                   ///< of those, moving slower than kRestSpeed, and neither of the two below
    std::vector<std::string> reset;   ///< bodies whose motion overflowed and that were put back at their start
    std::vector<std::string> outside; ///< bodies now beyond the world's bound (or at no finite position)
};
/// Linear speed below which the summary counts a dynamic body as at rest, in m/s.
inline constexpr float kRestSpeed = 0.02f;
RestCount CountBodiesAtRest(const Vexcore& host);

/// Writes text to path atomically; throws RunError naming the file and the reason.
void WriteOutputFile(const std::string& path, const std::string& text);

} // namespace vex::app

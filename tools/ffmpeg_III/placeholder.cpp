// Keeps the tool library non-empty until its own sources land.
namespace tarn::tool {}
